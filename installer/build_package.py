#!/usr/bin/env python3
"""Builds the Tarnwick package with wixl: Tarnwick-<major>.<minor>.msi.

Usage: build_package.py --bin DIR --out FILE [--arch x86|x64] [--data DIR] [--number N] [--work DIR]

  --bin     folder holding Tarnwick.exe, Corvala.dll, Feltram.exe and Brask.exe
  --data    the data folder to install (default: the repository's data/)
  --number  the version as the programs compare it (110 = 1.10); default: the last line of
            <data>/system/verinfo.dat. With a number the package installs a verinfo.dat that
            says so, which is how a newer package is made from the same programs.
  --work    folder for the generated files (default: next to --out)
  --arch    the programs' platform (default: read from Tarnwick.exe). An x64 package's components
            are 64-bit and its type library is win64; both install into the user's programs folder.

wixl writes what the package definition says; what it does not know is set afterwards with
msibuild: the user's two list files stay when the product is removed (an upgrade removes the older
product before it installs the newer one) and are the installer's unversioned user data, put back
when missing and never over a list the user changed (see package_rules.user_lists); the programs carry
their file versions and languages; every folder created in the user's profile is removed with the
product when it is empty; a long file name carries a short one (SHORT~1.EXT|long name); and a
package of the same version replaces the installed one instead of installing beside it. The
programs' version resources must agree with verinfo.dat. installer/package_rules.py checks the
result against the platform's validation rules.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.dirname(HERE)

sys.path.insert(0, HERE)
import com_registration  # noqa: E402
import package_rules  # noqa: E402

# Component attributes (Component table).
PERMANENT = 0x10
REGISTRY_KEY_PATH = 0x4
WIN64 = 0x100
USER_DATA_COMPONENTS = ("FavoritesList", "LocalList")
# The component whose removal also removes the package's empty folders in the profile.
FOLDERS_COMPONENT = "Shell"
# Upgrade table: the upgrade row also finds an installed product of the package's own version.
VERSION_MAX_INCLUSIVE = 0x200

# The programs and their File ids in the package definition.
PROGRAMS = {"Tarnwick.exe": "TarnwickExe", "Corvala.dll": "CorvalaDll", "Feltram.exe": "FeltramExe",
            "Brask.exe": "BraskExe"}


class BuildError(Exception):
    pass


def read_version_number(verinfo):
    """The last line of the installed-version file, as a whole number."""
    with open(verinfo, "rb") as f:
        lines = [l.strip() for l in f.read().replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")]
    lines = [l for l in lines if l]
    if not lines or not lines[-1].isdigit():
        raise BuildError("%s must end with a whole version number" % verinfo)
    return int(lines[-1])


def product_version(number):
    """110 -> 1.10.0: the same major and minor the programs' version resources carry."""
    major, minor = divmod(number, 100)
    if major > 255:
        raise BuildError("version %d is out of range" % number)
    return "%d.%d.0" % (major, minor)


def version_text(number):
    major, minor = divmod(number, 100)
    return "%d.%02d" % (major, minor)


def file_version(path):
    """The FILEVERSION of a program's version resource as a.b.c.d, or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def file_language(path):
    """The language of a program's version resource (its first Translation entry), or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find("Translation".encode("utf-16-le") + b"\0\0")
    if at < 0:
        return None
    at += len("Translation") * 2 + 2
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    return struct.unpack_from("<H", data, at)[0]


def short_name(name, taken):
    """An 8.3 name for a long one, unique among taken (upper case, as the platform makes them)."""
    stem, _, ext = name.rpartition(".") if "." in name else (name, "", "")
    clean = lambda t: "".join(c for c in t.upper() if c not in package_rules.SHORT_BAD and c != ".")  # noqa: E731
    stem, ext = clean(stem), clean(ext)[:3]
    for n in range(1, 10000):
        tail = "~%d" % n
        candidate = stem[:8 - len(tail)] + tail + ("." + ext if ext else "")
        if candidate.lower() not in taken:
            taken.add(candidate.lower())
            return candidate
    raise BuildError("no short name left for %s" % name)


def sql(text):
    return "'%s'" % text.replace("'", "''")


def program_arch(path):
    """x86 or x64, from a program's PE header (the machine field after the PE signature)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0] if len(head) >= 0x40 else -1
    if pe < 0 or head[pe:pe + 4] != b"PE\0\0":
        raise BuildError("%s is not a Windows program" % path)
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    if machine == 0x14C:
        return "x86"
    if machine == 0x8664:
        return "x64"
    raise BuildError("%s is for an unknown machine 0x%X" % (path, machine))


def run(args, cwd=None):
    r = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    if r.returncode != 0:
        raise BuildError("%s failed:\n%s" % (os.path.basename(args[0]), r.stdout.decode(errors="replace")))
    return r.stdout.decode(errors="replace")


def table_rows(msi, name):
    """The rows of one table, each a list of its columns."""
    rows = run(["msiinfo", "export", msi, name]).replace("\r\n", "\n").split("\n")[3:]
    return [r.split("\t") for r in rows if r]


def table(msi, name):
    """The rows of one table: {primary key: [the other columns]}."""
    return {r[0]: r[1:] for r in table_rows(msi, name)}


def build(bin_dir, out, data_dir=None, number=None, work=None, arch=None):
    data_dir = os.path.abspath(data_dir or os.path.join(SRC, "data"))
    bin_dir = os.path.abspath(bin_dir)
    out = os.path.abspath(out)
    work = os.path.abspath(work or os.path.join(os.path.dirname(out), "package-work"))
    for name in PROGRAMS:
        if not os.path.isfile(os.path.join(bin_dir, name)):
            raise BuildError("%s is missing from %s" % (name, bin_dir))
    os.makedirs(work, exist_ok=True)
    arches = {program_arch(os.path.join(bin_dir, name)) for name in PROGRAMS}
    if len(arches) != 1:
        raise BuildError("the programs in %s are built for different platforms" % bin_dir)
    if arch is None:
        arch = arches.pop()
    elif arch not in arches:
        raise BuildError("the programs in %s are not built for %s" % (bin_dir, arch))
    win64 = arch == "x64"

    verinfo = os.path.join(data_dir, "system", "verinfo.dat")
    versions = {name: file_version(os.path.join(bin_dir, name)) for name in PROGRAMS}
    if number is None:
        number = read_version_number(verinfo)
        # One version everywhere: a program's version resource says what verinfo.dat says.
        want = "%d.%d." % divmod(number, 100)
        for name, v in versions.items():
            if v is not None and not v.startswith(want):
                raise BuildError("%s has version %s, verinfo.dat says %s" % (name, v, version_text(number)))
    else:
        verinfo = os.path.join(work, "verinfo.dat")
        with open(verinfo, "wb") as f:
            f.write(b"%d\r\n" % number)

    with open(os.path.join(work, "corvala-registration.wxi"), "w", encoding="utf-8") as f:
        f.write(com_registration.wxi(com_registration.rows(SRC, arch), arch))

    tmp = out + ".part"
    if os.path.exists(tmp):
        os.remove(tmp)
    # wixl looks sources up relative to its working folder and refuses absolute names: it runs
    # in the root folder and is given every path relative to it.
    rel = lambda p: os.path.relpath(p, "/")  # noqa: E731
    run(["wixl", "-a", arch, "-I", rel(work),
         "-D", "Win64=" + ("yes" if win64 else "no"),
         "-D", "Version=" + product_version(number),
         "-D", "BinDir=" + rel(bin_dir),
         "-D", "DataDir=" + rel(data_dir),
         "-D", "VerinfoFile=" + rel(verinfo),
         "-D", "ComWxi=corvala-registration.wxi",
         "-o", tmp, rel(os.path.join(HERE, "Tarnwick.wxs"))], cwd="/")
    # The lists' key paths are HKCU values, as every profile component's. Permanent: the lists and
    # their values stay when the product goes. Not NeverOverwrite: that would skip the component
    # whenever its value exists, so a deleted list would never come back; the installer's rule for
    # unversioned files keeps a list the user changed instead.
    user_data = PERMANENT | REGISTRY_KEY_PATH | (WIN64 if win64 else 0)
    queries = ["UPDATE `Component` SET `Attributes` = %d WHERE `Component` = '%s'" % (user_data, c)
               for c in USER_DATA_COMPONENTS]
    # Programs are versioned files: the installer compares their versions, not their hashes.
    for name, file_id in PROGRAMS.items():
        if versions[name]:
            queries += ["UPDATE `File` SET `Version` = '%s' WHERE `File` = '%s'" % (versions[name], file_id),
                        "DELETE FROM `MsiFileHash` WHERE `File_` = '%s'" % file_id]
    for name, file_id in PROGRAMS.items():
        language = file_language(os.path.join(bin_dir, name)) if versions[name] else None
        if language is not None:
            queries.append("UPDATE `File` SET `Language` = '%d' WHERE `File` = '%s'" % (language, file_id))
    # Long names get a short form beside them; the short names of one folder differ.
    files = table(tmp, "File")
    components = table(tmp, "Component")
    taken = {}
    for file_id, row in files.items():
        taken.setdefault(components[row[0]][1], set()).add(row[1].split("|")[0].lower())
    for file_id, row in sorted(files.items()):
        if "|" not in row[1] and package_rules.filename_errors(row[1], file_id):
            short = short_name(row[1], taken[components[row[0]][1]])
            queries.append("UPDATE `File` SET `FileName` = %s WHERE `File` = %s" % (sql(short + "|" + row[1]), sql(file_id)))
    # Every folder the package creates in the profile goes when the product goes (if empty).
    removed = {r[2] for r in table(tmp, "RemoveFile").values() if not r[1]}
    built = package_rules.Package(tmp)
    for d in sorted(table(tmp, "Directory")):
        if d not in package_rules.PROFILE_FOLDERS and built.in_profile(d) and d not in removed:
            queries.append("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) "
                           "VALUES (%s, %s, %s, 2)" % (sql("Remove" + d), sql(FOLDERS_COMPONENT), sql(d)))
    # The upgrade row finds older products and, with the inclusive maximum, one of this version:
    # a rebuilt package of the same version replaces the installed product.
    for row in table_rows(tmp, "Upgrade"):
        code, vmin, vmax, lang, attrs, remove, prop = row
        if prop == "WIX_UPGRADE_DETECTED" and not int(attrs) & VERSION_MAX_INCLUSIVE:
            queries += ["DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
                        "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
                        "VALUES (%s, %s, %d, 'WIX_UPGRADE_DETECTED')" % (sql(code), sql(vmax),
                                                                           int(attrs) | VERSION_MAX_INCLUSIVE)]
    for q in queries:
        run(["msibuild", tmp, "-q", q])
    # An update that matched no row would go unnoticed: read the rows back.
    components = table(tmp, "Component")
    for c in USER_DATA_COMPONENTS:
        if c not in components or int(components[c][2]) != user_data:
            raise BuildError("component %s was not marked as user data" % c)
    for c, row in components.items():
        if bool(int(row[2] or 0) & WIN64) != win64:
            raise BuildError("component %s is not marked for %s" % (c, arch))
    files = table(tmp, "File")
    for name, file_id in PROGRAMS.items():
        if file_id not in files or files[file_id][3] != (versions[name] or ""):
            raise BuildError("file %s does not carry version %s" % (file_id, versions[name]))
    shutil.move(tmp, out)
    return out


def main():
    ap = argparse.ArgumentParser(description="Builds the Tarnwick package.")
    ap.add_argument("--bin", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--data")
    ap.add_argument("--number", type=int)
    ap.add_argument("--work")
    ap.add_argument("--arch", choices=("x86", "x64"))
    a = ap.parse_args()
    try:
        path = build(a.bin, a.out, a.data, a.number, a.work, a.arch)
    except (BuildError, com_registration.SourceError, OSError) as e:
        sys.stderr.write("build_package.py: %s\n" % e)
        return 1
    print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
