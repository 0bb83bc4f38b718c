#!/usr/bin/env python3
"""Starts the installed suite under Wine: the build's Wine prefix (the tests' prefix, build/win/wineprefix),
the demo portal on 127.0.0.1, the suite installed from the installer
package (or, without one, copied and the component library registered), then the shell. Without
$DISPLAY it uses a virtual display, takes a screenshot and ends the shell. Whatever it started
for that (virtual display, demo portal, Wine server) ends with it: without a display after the
screenshot, with one when the shell closes. A session that was already running (the tests') is
left as it was."""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
os.environ.setdefault("TW_WIN_BUILD", os.path.join(HERE, "..", "build", "win"))
user_display = os.environ.get("DISPLAY")

import harness as h  # noqa: E402
import msi_package as pkg  # noqa: E402

OUT = os.path.join(h.BUILD, "run")


def session_running():
    st = h._load_state()
    return any(st.get(key) and h._alive(st[key]) for key in ("portal_pid", "xvfb_pid"))


def main():
    os.makedirs(OUT, exist_ok=True)
    ours = not session_running()
    try:
        return run()
    finally:
        if ours:
            h.teardown()  # the Wine server, the portal and the virtual display this run started


def run():
    st = h.ensure()  # locale, prefix, portal; a virtual display only matters without a real one
    extra = {}
    if user_display:
        extra["DISPLAY"] = user_display
    msi = pkg.package_path()
    if os.path.exists(msi):
        # What a user gets: the package installed into the prefix, replacing an earlier run's.
        h.kill_wine_programs()
        pkg.uninstall()
        install = pkg.install(msi)
        print("installed from %s" % msi)
    else:
        install = h.install_copy("run")
        dll = os.path.join(install, "Corvala.dll")
        if os.path.exists(dll):
            h.run(["regsvr32", "/s", dll], timeout=60, extra_env=extra)
    print("portal: %s/list.htm" % h.PORTAL)
    print("installation: %s" % install)
    if user_display:
        h.kill_wine_programs()  # the desktop process then starts on the real display
    shell = h.start([os.path.join(install, "Tarnwick.exe")], extra_env=extra)
    if user_display:
        print("Tarnwick is running on %s; close it to end." % user_display)
        shell.wait()
        return 0
    try:
        h.wait_until(lambda: [r for r in h.probe("find", "*", "TarnwickMain") if r.get("visible") == "1"],
                     30, what="the main window")
        time.sleep(3)
        shot = h.screenshot(os.path.join(OUT, "screenshot.png"))
        print("no display: screenshot of display %s written to %s" % (st.get("display"), shot))
    finally:
        h.stop(shell)
        h.kill_wine_programs()
    return 0


if __name__ == "__main__":
    sys.exit(main())
