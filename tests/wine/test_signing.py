"""The publisher's Authenticode signatures: Tarnwick.exe, Corvala.dll, Feltram.exe and Brask.exe as
built and as the installer package carries them, and the package itself, each carry one signature
that verifies (`osslsigncode verify`) up to the build's code-signing certificate; a single changed
byte makes the file's digest differ from the signed one; and the update information the build
publishes signs the final, signed package. Needs no Wine: the package is read with msiextract."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import harness as h
import msi_package as pkg

sys.path.insert(0, os.path.join(h.SRC, "installer"))
import update_signing  # noqa: E402

PROGRAMS = ("Tarnwick.exe", "Corvala.dll", "Feltram.exe", "Brask.exe")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def verify(path):
    """osslsigncode's verdict on a file, trusting the build's certificate: (exit code, its report)."""
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", h.CONFIG["codesign_cert"], "-in", path],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return r.returncode, r.stdout.decode(errors="replace")


def der_integer(value):
    value = value.lstrip(b"\0") or b"\0"
    if value[0] & 0x80:
        value = b"\0" + value
    return bytes([2, len(value)]) + value


class SignatureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.msi = pkg.package_path()
        if not os.path.exists(cls.msi):
            raise unittest.SkipTest("no package at %s (wixl missing?)" % cls.msi)
        if "codesign_cert" not in h.CONFIG:
            raise unittest.SkipTest("the build names no code-signing certificate")
        cls.dir = tempfile.mkdtemp(prefix="signing-", dir=h.BUILD)
        subprocess.run(["msiextract", "-C", os.path.join(cls.dir, "extracted"), cls.msi], check=True,
                       stdout=subprocess.DEVNULL, timeout=120)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def assertSigned(self, path):
        rc, report = verify(path)
        self.assertEqual(rc, 0, report)
        self.assertIn("Signature verification: ok", report)
        # Signed once: a build step that ran again replaced the signature, it did not nest another.
        self.assertIn("Number of verified signatures: 1\n", report)
        self.assertNotIn("MISMATCH", report)

    def extracted(self, name):
        found = [os.path.join(d, name) for d, _, files in os.walk(os.path.join(self.dir, "extracted"))
                 if name in files]
        self.assertEqual(len(found), 1, "%s in the package: %s" % (name, found))
        return found[0]

    def cabinet(self):
        media = subprocess.run(["msiinfo", "export", self.msi, "Media"], stdout=subprocess.PIPE, check=True,
                               timeout=60).stdout.decode().replace("\r\n", "\n").split("\n")[3]
        stream = media.split("\t")[3]
        self.assertTrue(stream.startswith("#"), media)
        return subprocess.run(["msiinfo", "extract", self.msi, stream[1:]], stdout=subprocess.PIPE, check=True,
                              timeout=60).stdout

    def test_programs_as_built_and_as_packaged_verify(self):
        for name in PROGRAMS:
            with self.subTest(name):
                built = os.path.join(h.BIN, name)
                self.assertSigned(built)
                # The package carries the signed programs themselves.
                packaged = self.extracted(name)
                self.assertEqual(read(packaged), read(built))
                self.assertSigned(packaged)

    def test_package_verifies_and_the_update_information_signs_it_as_signed(self):
        self.assertSigned(self.msi)
        publish = os.path.join(h.BUILD, "installer", "publish")
        self.assertEqual(read(os.path.join(publish, "ZentroVrindle.msi")), read(self.msi))
        # The updater checks the update information's ECDSA signature over the downloaded package's
        # bytes: it must be the signature of the package as published, Authenticode signature and all.
        line = read(os.path.join(publish, "updatainfo.txt")).split(b"\r\n")[0].decode()
        self.assertTrue(line.startswith(update_signing.TAG), line)
        raw = bytes.fromhex(line[len(update_signing.TAG):])
        body = der_integer(raw[:32]) + der_integer(raw[32:])
        sig = os.path.join(self.dir, "update.sig")
        with open(sig, "wb") as f:
            f.write(bytes([0x30, len(body)]) + body)
        r = subprocess.run(["openssl", "dgst", "-sha256", "-verify", os.path.join(h.BUILD, "keys", "update_public.pem"),
                            "-signature", sig, self.msi], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(r.returncode, 0, r.stdout)

    def test_a_changed_byte_breaks_each_signature(self):
        for path in [os.path.join(h.BIN, n) for n in PROGRAMS] + [self.msi]:
            with self.subTest(os.path.basename(path)):
                data = bytearray(read(path))
                if path == self.msi:
                    # A byte of the programs' cabinet, so that the change lands in a signed stream
                    # and not in free space of the compound file: 64 bytes from the start of one
                    # of its sectors (4096 is a multiple of either sector size) lie together.
                    cab = self.cabinet()
                    middle = len(cab) // 2 // 4096 * 4096
                    at = data.find(cab[middle:middle + 64])
                    self.assertGreater(at, 0)
                else:
                    at = len(data) // 2  # code or data of the program, covered by its digest
                data[at] ^= 0x01
                changed = os.path.join(self.dir, "changed-" + os.path.basename(path))
                with open(changed, "wb") as f:
                    f.write(data)
                rc, report = verify(changed)
                self.assertNotEqual(rc, 0, report)
                self.assertIn("MISMATCH", report)


if __name__ == "__main__":
    unittest.main()
