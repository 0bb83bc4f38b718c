"""The publisher's signature of the installer package, made with OpenSSL's command line.

  genkey <private.pem> <public.pem>            a new EC P-256 key pair (never over an existing file)
  pubkey <private.pem> <public.pem>            the public key of a private one
  header <public.pem> <out.h>                  the public key as the updater compiles it in
  publish <private.pem> <package> <verinfo> <updatainfo.txt>
                                               the update information for <package>: the signature
                                               line, then the version file's lines (the version last)

The signature line is "signature ecdsa-p256-sha256 " and the ECDSA signature of the package's
SHA-256 as r and s, 32 bytes each, big-endian, in hexadecimal."""
import os
import subprocess
import sys

TAG = "signature ecdsa-p256-sha256 "
# SubjectPublicKeyInfo of an uncompressed P-256 key, up to the key's 65 bytes (04, X, Y).
P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")


def openssl(*args, data=None):
    r = subprocess.run(["openssl"] + list(args), input=data, capture_output=True)
    if r.returncode != 0:
        sys.exit("openssl %s failed: %s" % (" ".join(args), r.stderr.decode(errors="replace").strip()))
    return r.stdout


def genkey(private_pem, public_pem):
    # A pair in use signs what installed clients accept: losing it loses every update.
    for path in (private_pem, public_pem):
        if os.path.exists(path):
            sys.exit("%s exists: a key pair is made once and never overwritten" % path)
    openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", private_pem)
    pubkey(private_pem, public_pem)


def pubkey(private_pem, public_pem):
    openssl("pkey", "-in", private_pem, "-pubout", "-out", public_pem)


def public_point(public_pem):
    der = openssl("pkey", "-pubin", "-in", public_pem, "-outform", "DER")
    if len(der) != len(P256_SPKI_PREFIX) + 65 or not der.startswith(P256_SPKI_PREFIX) or der[-65] != 4:
        sys.exit("%s is not an EC P-256 public key" % public_pem)
    return der[-64:]


def header(public_pem, out):
    xy = public_point(public_pem)
    body = ", ".join("0x%02X" % b for b in xy)
    with open(out, "w") as f:
        f.write("// Generated from %s: the publisher's EC P-256 public key, X then Y, big-endian.\n"
                "#pragma once\n\nstatic const unsigned char kUpdatePublicKey[64] = {%s};\n" % (public_pem, body))


def _der_integer(der, i):
    if der[i] != 0x02:
        raise ValueError("not an INTEGER")
    n = der[i + 1]
    value = der[i + 2:i + 2 + n].lstrip(b"\0")
    if len(value) > 32:
        raise ValueError("integer too long")
    return value.rjust(32, b"\0"), i + 2 + n


def raw_signature(der):
    """r || s from OpenSSL's DER ECDSA-Sig-Value (a SEQUENCE of two INTEGERs, short lengths)."""
    if len(der) < 8 or der[0] != 0x30 or der[1] != len(der) - 2:
        raise ValueError("not a DER ECDSA signature")
    r, i = _der_integer(der, 2)
    s, i = _der_integer(der, i)
    if i != len(der):
        raise ValueError("trailing bytes after the signature")
    return r + s


def signature_line(private_pem, package):
    der = openssl("dgst", "-sha256", "-sign", private_pem, package)
    return TAG + raw_signature(der).hex()


def publish(private_pem, package, verinfo, out):
    with open(verinfo, "rb") as f:
        versions = f.read()
    with open(out, "wb") as f:
        f.write(signature_line(private_pem, package).encode("ascii") + b"\r\n" + versions)


if __name__ == "__main__":
    commands = {"genkey": (genkey, 2), "pubkey": (pubkey, 2), "header": (header, 2), "publish": (publish, 4)}
    if len(sys.argv) < 2 or sys.argv[1] not in commands or len(sys.argv) != commands[sys.argv[1]][1] + 2:
        sys.exit(__doc__)
    commands[sys.argv[1]][0](*sys.argv[2:])
