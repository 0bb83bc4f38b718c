"""The installer package in the Wine prefix: install, remove, and what the system reports.

  package_path()        the package the build made (<build>/installer/Tarnwick-<version>.msi)
  build(number, dest)   a package of the same programs that installs version <number>
  install(msi)          `msiexec /i <msi> /qn`; returns the installation folder (Unix path)
  uninstall()           `msiexec /x <product> /qn` for every installed version
  products()            the installed versions: [{"product", "VersionString", "InstallLocation"}]
  installed_dir()       C:\\Program Files\\Tarnwick in the prefix, as a Unix path
"""
import os
import re
import sys

import harness as h

sys.path.insert(0, os.path.join(h.SRC, "installer"))
import build_package  # noqa: E402

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
    """A package of the built programs that installs version <number> (a newer one for upgrades)."""
    return build_package.build(h.BIN, dest, number=number, work=os.path.join(os.path.dirname(dest), "work-%d" % number))


def installed_dir():
    return os.path.join(h.PREFIX, "drive_c", "Program Files", "Tarnwick")


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


def install(msi):
    r = msiexec("/i", h.winpath(msi), "/qn")
    if r.returncode != 0:
        raise h.HarnessError("msiexec /i %s exited %d" % (msi, r.returncode))
    h.wait_until(products, 30, 0.2, "the product to be registered")
    return installed_dir()


def uninstall():
    for p in products():
        r = msiexec("/x", p["product"], "/qn")
        if r.returncode != 0:
            raise h.HarnessError("msiexec /x %s exited %d" % (p["product"], r.returncode))
    h.wait_until(lambda: not products(), 30, 0.2, "the product to be removed")
