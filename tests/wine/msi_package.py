"""The installer package in the Wine prefix: install, remove, and what the system reports.

  package_path()        the package the build made (<build>/installer/Tarnwick-<version>.msi)
  build(number, dest)   a package of the same programs that installs version <number>
  install(msi)          `msiexec /i <msi> /qn`; returns the installation folder (Unix path)
  build_released(n, d)  a package of version n with the lists' components as released earlier
  forget_lists()        removes the record the lists leave in the user's registry
  uninstall()           `msiexec /x <product> /qn` for every installed version
  class_keys()          the keys under Software\\Classes the package registers
  class_tree(root)      what is under them in HKCU's or HKLM's Software\\Classes
  WRITTEN               which of them the last install() found under HKCU and under HKLM
  products()            the installed versions: [{"product", "VersionString", "InstallLocation"}]
  installed_dir()       the user's %LOCALAPPDATA%\\Programs\\Tarnwick in the prefix, as a Unix path
  installed_winpath()   the same as the programs see it
"""
import os
import re
import shutil
import sys

import harness as h

sys.path.insert(0, os.path.join(h.SRC, "installer"))
import build_package  # noqa: E402
import com_registration  # noqa: E402

WXS = os.path.join(h.SRC, "installer", "Tarnwick.wxs")


def upgrade_code():
    with open(WXS, encoding="utf-8") as f:
        m = re.search(r'UpgradeCode="([0-9A-Fa-f-]{36})"', f.read())
    return "{%s}" % m.group(1).upper()


def version_number():
    return build_package.read_version_number(os.path.join(h.SRC, "data", "system", "verinfo.dat"))


def package_path():
    return os.path.join(h.BUILD, "installer", "Tarnwick-%s.msi" % build_package.version_text(version_number()))


def build(number, dest):
    """A package of the built programs that installs version <number> (a newer one for upgrades),
    with Windows' rule for changed lists in Wine's terms (with_list_rule)."""
    build_package.build(h.BIN, dest, number=number, work=os.path.join(os.path.dirname(dest), "work-%d" % number))
    return with_list_rule(dest)


# Windows Installer never overwrites an unversioned file modified after it was created ("File
# Versioning Rules"): that is what keeps a list the user changed through a reinstall, a repair or
# an upgrade. Wine 8's msiexec has no such rule; it overwrites an unversioned file whenever its
# size or hash differs. What it does keep is the existing file of a NeverOverwrite component (and
# it installs a missing one). So that the package can be run here as on Windows, the packages the
# tests install carry that mark on the two list components: in Wine it has the outcome Windows'
# rule has for a changed list. The package's own rows (package_rules.user_lists) are checked as
# built. (Wine 8 reports a file's last write time as its creation time, so the creation time the
# shell keeps on a list it replaces cannot be seen here.)
LIST_COMPONENTS = ("FavoritesList", "LocalList")
NEVER_OVERWRITE = 0x80


def with_list_rule(msi, dest=None):
    """msi (or a copy at dest) with the lists' components marked NeverOverwrite; returns its path."""
    if dest:
        shutil.copyfile(msi, dest)
        msi = dest
    components = build_package.table(msi, "Component")
    for c in LIST_COMPONENTS:
        attrs = int(components[c][2]) | NEVER_OVERWRITE
        build_package.run(["msibuild", msi, "-q", "UPDATE `Component` SET `Attributes` = %d WHERE `Component` = '%s'"
                           % (attrs, c)])
    return msi


def build_released(number, dest):
    """A package like those released before the lists had registry key paths: their components
    under their earlier codes, Permanent and NeverOverwrite, with the list file as key path."""
    build(number, dest)
    files = {r[0]: r for r in build_package.table_rows(dest, "File")}
    for component, code, file_id in (("FavoritesList", "{503415AC-E83E-4A7C-99E9-070E2A14717A}", "GameFavoritesXml"),
                                     ("LocalList", "{27EA66A1-1E22-44CE-8148-7F6DE6AB2483}", "GameLocalXml")):
        assert files[file_id][1] == component
        for q in ("UPDATE `Component` SET `ComponentId` = '%s', `Attributes` = %d, `KeyPath` = '%s' "
                  "WHERE `Component` = '%s'" % (code, 0x10 | NEVER_OVERWRITE | (0x100 if h.WIN64 else 0), file_id,
                                                component),
                  "DELETE FROM `Registry` WHERE `Component_` = '%s'" % component):
            build_package.run(["msibuild", dest, "-q", q])
    return dest


def installed_winpath():
    return "C:\\users\\%s\\AppData\\Local\\Programs\\Tarnwick" % os.environ.get("USER", "root")


def installed_dir():
    return os.path.join(h.PREFIX, "drive_c", *installed_winpath().split("\\")[1:])


def driver(*args, timeout=60):
    """Runs twinstalled.exe; returns its key=value lines as a list of (key, value)."""
    r = h.run([os.path.join(h.BIN, "twinstalled.exe")] + [str(a) for a in args], timeout=timeout)
    out = r.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
    return [tuple(l.split("=", 1)) for l in out.split("\n") if "=" in l], r.returncode


def products():
    lines, _ = driver("products", upgrade_code())
    found, cur = [], None
    for k, v in lines:
        if k == "product":
            cur = {"product": v}
            found.append(cur)
        elif cur is not None:
            cur[k] = v
    return found


def msiexec(*args, timeout=180):
    return h.run(["msiexec"] + list(args), timeout=timeout)


def class_keys():
    """The keys under the classes root that the package registers: the component library's
    (named from its IDL) and the qorzentro: link handler."""
    with open(os.path.join(h.SRC, "library", "Corvala.idl"), encoding="utf-8") as f:
        library, coclasses, dispinterfaces = com_registration.parse_idl(f.read())
    keys = ["CLSID\\" + c["uuid"] for c in coclasses]
    keys += ["%s.%s" % (library["name"], c["name"]) for c in coclasses]
    keys += ["TypeLib\\" + library["uuid"]]
    keys += ["Interface\\" + i["uuid"] for i in dispinterfaces]
    return keys + ["qorzentro"]


def class_tree(root, keys=None):
    """Every key and value under the package's keys of root's Software\\Classes, as (kind, text)."""
    out, _ = driver("trees", root, *["Software\\Classes\\" + k for k in (keys or class_keys())])
    return out


def _import(lines):
    reg = os.path.join(h.BUILD, "tw-classes.reg")
    with open(reg, "w", encoding="utf-16") as f:
        f.write("\r\n".join(["REGEDIT4", ""] + lines + [""]))
    h.run(["regedit", "/S", h.winpath(reg)], timeout=60, check=True)


# Windows shows a user's own classes (HKCU\Software\Classes) through HKEY_CLASSES_ROOT, above the
# machine's; Wine 8 shows only the machine's. So that the per-user installation can be used here
# as on Windows (ProgIDs, the type library, qorzentro: links), install() copies the package's user
# classes into the machine's classes of the test prefix, after recording what the package itself
# wrote where; uninstall() removes the copy with the product.
WRITTEN = {"HKCU": [], "HKLM": []}


def _regstr(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def _merge_user_classes():
    keys = class_keys()
    user = class_tree("HKCU", keys)
    WRITTEN["HKCU"] = [v[len("Software\\Classes\\"):] for k, v in user if k == "key"]
    WRITTEN["HKLM"] = [v[len("Software\\Classes\\"):] for k, v in class_tree("HKLM", keys) if k == "key"]
    lines = []
    for k, v in user:
        if k == "key":
            lines += ["", "[HKEY_LOCAL_MACHINE\\%s]" % v]
            continue
        _path, name, data = v.split("|", 2)
        value = "dword:%08x" % int(data[1:]) if data.startswith("#") else _regstr(data)
        lines.append("%s=%s" % (_regstr(name) if name else "@", value))
    _import(lines)


def _remove_merged_classes():
    _import(["[-HKEY_LOCAL_MACHINE\\Software\\Classes\\%s]" % k for k in class_keys()])


def install(msi, *properties):
    """Installs msi as Windows would (with_list_rule); properties such as REINSTALL=ALL are passed on."""
    msi = with_list_rule(msi, os.path.join(h.BUILD, "tw-install-" + os.path.basename(msi)))
    r = msiexec("/i", h.winpath(msi), *properties, "/qn")
    if r.returncode != 0:
        raise h.HarnessError("msiexec /i %s exited %d" % (msi, r.returncode))
    h.wait_until(products, 30, 0.2, "the product to be registered")
    _merge_user_classes()
    return installed_dir()


def forget_lists():
    _import(["[-HKEY_CURRENT_USER\\Software\\Tarnwick]"])


def uninstall():
    for p in products():
        r = msiexec("/x", p["product"], "/qn")
        if r.returncode != 0:
            raise h.HarnessError("msiexec /x %s exited %d" % (p["product"], r.returncode))
        _remove_merged_classes()
    h.wait_until(lambda: not products(), 30, 0.2, "the product to be removed")
