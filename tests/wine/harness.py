"""Wine test harness: runs the real Windows programs under Wine on a private virtual display.

One session per build folder (environment TW_WIN_BUILD, default <repo>/build/win), made once and
shared by the tests of a run:
  - a private Wine prefix  <build>/wineprefix of the build's platform: 32-bit for the i686 build,
    64-bit (run through the 64-bit loader) for the x86_64 build (CJK font substitutes, a `.twtest` file
    association whose opener records what it was asked to open),
  - a generated zh_CN.UTF-8 locale, so the programs run with ANSI code page 936,
  - a private Xvfb display, and an ALSA null device so winmm offers a mixer,
  - the demo portal on 127.0.0.1:<portal port> (portal/server.py).
`python3 harness.py setup` / `teardown` are the CTest fixtures; tests call `ensure()` which sets up
whatever is missing, so a test file can also be run by hand: `python3 tests/wine/test_x.py`.

Helpers for tests:
  install_copy(name)      fresh installation folder (programs + data) for one test, as a Unix path
  winpath(unix)           the same path as Wine sees it (Z:\\...)
  run(args, timeout)      run a program to its end (bounded)
  start(args)             start a program (Popen); stop(p) ends it
  probe(*args)            run the test driver twprobe.exe and parse its key=value output
  wait_until(fn, timeout) poll until fn() is truthy, or fail
  screenshot(path)        the virtual display as PNG
  xdotool(*args)          drive the real mouse and keyboard
Every wait is bounded; nothing here contacts anything but 127.0.0.1.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.abspath(os.environ.get("TW_WIN_BUILD", os.path.join(SRC, "build", "win")))
BIN = os.path.join(BUILD, "bin")
PREFIX = os.path.join(BUILD, "wineprefix")
STATE = os.path.join(BUILD, "wine-session.json")
LOCALE_DIR = os.path.join(BUILD, "locale")
OPEN_LOG = os.path.join(BUILD, "shell-open.log")
PUBLISH = os.path.join(BUILD, "installer", "publish")


def _read_config():
    cfg = {"portal_port": 18473, "arch": "i686"}
    path = os.path.join(BUILD, "tw-config.json")
    if os.path.exists(path):
        with open(path) as f:
            cfg.update(json.load(f))
    return cfg


CONFIG = _read_config()
PORTAL_PORT = int(CONFIG["portal_port"])
PORTAL = "http://127.0.0.1:%d" % PORTAL_PORT

# The build's platform decides the prefix and the loader. The `wine` and `wineserver` wrappers on
# PATH try the 32-bit loader first, which cannot start at all on kernels without 32-bit support:
# a 64-bit session names the 64-bit loader and server itself.
WIN64 = CONFIG["arch"] == "x86_64"
WINE = ["/usr/lib/wine/wine64"] if WIN64 else ["wine"]
WINESERVER = "/usr/lib/wine/wineserver64" if WIN64 else "wineserver"
OBJDUMP = ("x86_64" if WIN64 else "i686") + "-w64-mingw32-objdump"


class HarnessError(AssertionError):
    pass


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except (OSError, TypeError):
        return False


def _load_state():
    try:
        with open(STATE) as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def _save_state(st):
    with open(STATE, "w") as f:
        json.dump(st, f)


def env(extra=None):
    st = _load_state()
    e = dict(os.environ)
    e.update({
        "WINEPREFIX": PREFIX,
        "WINEARCH": "win64" if WIN64 else "win32",
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree=d;winemenubuilder.exe=d",
        "LANG": "zh_CN.UTF-8",
        "LC_ALL": "zh_CN.UTF-8",
        "LOCPATH": LOCALE_DIR,
        "ALSA_CONFIG_PATH": "/usr/share/alsa/alsa.conf:" + os.path.join(BUILD, "alsa-null.conf"),
        "TW_OPEN_LOG": winpath(OPEN_LOG),
    })
    if st.get("display"):
        e["DISPLAY"] = st["display"]
    if extra:
        e.update(extra)
    return e


def _make_locale():
    target = os.path.join(LOCALE_DIR, "zh_CN.UTF-8")
    if os.path.isdir(target):
        return
    os.makedirs(LOCALE_DIR, exist_ok=True)
    r = subprocess.run(["localedef", "-i", "zh_CN", "-f", "UTF-8", target],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if not os.path.isdir(target):
        raise HarnessError("localedef failed: %s" % r.stdout.decode(errors="replace"))


def _free_display():
    for n in range(91, 140):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
            return n
    raise HarnessError("no free X display number")


def _start_xvfb(st):
    if st.get("xvfb_pid") and _alive(st["xvfb_pid"]):
        return
    n = _free_display()
    log = open(os.path.join(BUILD, "xvfb.log"), "w")
    p = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                         stdout=log, stderr=log, stdin=subprocess.DEVNULL, start_new_session=True)
    deadline = time.time() + 15
    while not os.path.exists("/tmp/.X11-unix/X%d" % n):
        if time.time() > deadline or p.poll() is not None:
            log.flush()
            with open(log.name, errors="replace") as f:
                said = [l.strip() for l in f if l.strip()][-2:]
            raise HarnessError("Xvfb did not start on :%d: %s" % (n, " / ".join(said) or "no output"))
        time.sleep(0.05)
    st["xvfb_pid"] = p.pid
    st["display"] = ":%d" % n


def _start_portal(st):
    if st.get("portal_pid") and _alive(st["portal_pid"]):
        return
    log = open(os.path.join(BUILD, "portal.log"), "w")
    # The build publishes its installer package and the matching update information there.
    publish = ["--extra-root", PUBLISH] if os.path.isdir(PUBLISH) else []
    p = subprocess.Popen([sys.executable, os.path.join(SRC, "portal", "server.py"), "--port", str(PORTAL_PORT),
                          "--log", os.path.join(BUILD, "portal-requests.log")] + publish,
                         stdout=log, stderr=log, stdin=subprocess.DEVNULL, start_new_session=True)
    import socket
    deadline = time.time() + 10
    while True:
        try:
            socket.create_connection(("127.0.0.1", PORTAL_PORT), timeout=0.5).close()
            break
        except OSError:
            if time.time() > deadline or p.poll() is not None:
                raise HarnessError("the demo portal did not start on port %d" % PORTAL_PORT)
            time.sleep(0.05)
    st["portal_pid"] = p.pid


# Registry set-up of the test prefix: CJK fonts for the dialog fonts, and an association for the
# ".twtest" extension and the http/https protocols whose opener only logs what it was given, so
# tests can observe the system shell's "open" without a real browser.
def _opener_reg():
    opener = winpath(os.path.join(BIN, "twopen.exe")).replace("\\", "\\\\")
    font = "WenQuanYi Micro Hei"
    lines = [
        "REGEDIT4",
        "",
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]",
    ]
    for name in ("MS Shell Dlg", "MS Shell Dlg 2", "SimSun", "NSimSun", "Tahoma", "MS Sans Serif",
                 "Microsoft YaHei", "宋体"):
        lines.append('"%s"="%s"' % (name, font))
    lines += ["", "[HKEY_CLASSES_ROOT\\.twtest]", '@="twtestfile"', "",
              "[HKEY_CLASSES_ROOT\\twtestfile\\shell\\open\\command]",
              '@="\\"%s\\" \\"%%1\\""' % opener, ""]
    for proto in ("http", "https"):
        lines += ["[HKEY_CLASSES_ROOT\\%s\\shell\\open\\command]" % proto,
                  '@="\\"%s\\" \\"%%1\\""' % opener, ""]
    lines += ["[HKEY_CLASSES_ROOT\\Msi.Package\\shell\\open\\command]",
              '@="\\"%s\\" \\"%%1\\""' % opener, ""]
    return "\r\n".join(lines)


def _make_prefix():
    marker = os.path.join(PREFIX, ".tw-ready")
    if os.path.exists(marker):
        return
    if os.path.isdir(PREFIX):
        shutil.rmtree(PREFIX, ignore_errors=True)
    e = env({"WINEDLLOVERRIDES": "mscoree,mshtml=d;winemenubuilder.exe=d"})
    log = os.path.join(BUILD, "wineboot.log")
    with open(log, "wb") as out:
        try:
            r = subprocess.run(WINE + ["wineboot", "-i"], env=e, stdout=out, stderr=subprocess.STDOUT,
                               stdin=subprocess.DEVNULL, timeout=180)
            code = r.returncode
        except OSError as err:  # the loader itself cannot be executed
            out.write(str(err).encode())
            code = -1
    if code == 0:
        subprocess.run([WINESERVER, "-w"], env=e, timeout=120)
    if code != 0 or not os.path.isdir(os.path.join(PREFIX, "drive_c", "windows")):
        with open(log, errors="replace") as f:
            said = [l.strip() for l in f if l.strip()][-3:]
        raise HarnessError("wineboot could not make the %s prefix %s (exit %s): %s" % (
            "64-bit" if WIN64 else "32-bit", PREFIX, code, " / ".join(said) or "no output"))
    with open(os.path.join(BUILD, "alsa-null.conf"), "w") as f:
        f.write("pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
    if os.path.exists(os.path.join(BIN, "twopen.exe")):
        reg = os.path.join(BUILD, "tw-test.reg")
        with open(reg, "w", encoding="utf-16") as f:
            f.write(_opener_reg())
        subprocess.run(WINE + ["regedit", "/S", winpath(reg)], env=env(), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env(), timeout=60)
    with open(marker, "w") as f:
        f.write("ok\n")


def ensure():
    """Sets up whatever part of the session is missing; cheap when all is there."""
    os.makedirs(BUILD, exist_ok=True)
    st = _load_state()
    _make_locale()
    _start_xvfb(st)
    _save_state(st)
    _make_prefix()
    _start_wineserver()
    _start_portal(st)
    _save_state(st)
    return st


def teardown():
    st = _load_state()
    subprocess.run([WINESERVER, "-k"], env=env(), timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for key in ("portal_pid", "xvfb_pid"):
        pid = st.get(key)
        if pid and _alive(pid):
            try:
                os.killpg(pid, signal.SIGTERM)
            except OSError:
                pass
    if os.path.exists(STATE):
        os.remove(STATE)


def _port_free(port):
    import socket
    s = socket.socket()
    try:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False
    finally:
        s.close()


def take_portal_port(timeout=10.0):
    """Stops the session's demo portal so a test can serve its own answers on the portal's port.
    True once the port is free; False when another program still holds it. ensure() brings the
    session's portal back."""
    pid = _load_state().get("portal_pid")
    if pid:
        try:
            os.killpg(pid, signal.SIGTERM)
        except OSError:
            pass
    deadline = time.time() + timeout
    while not _port_free(PORTAL_PORT):
        if time.time() > deadline:
            return False
        time.sleep(0.1)
    return True


def winpath(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def install_copy(name):
    """A fresh installation folder for one test: the programs and a copy of the installed data."""
    dest = os.path.join(BUILD, "wine-tests", name)
    if os.path.isdir(dest):
        shutil.rmtree(dest)
    os.makedirs(dest)
    for f in os.listdir(BIN):
        src = os.path.join(BIN, f)
        if os.path.isfile(src) and f.lower().endswith((".exe", ".dll", ".tlb")):
            shutil.copy2(src, dest)
    shutil.copytree(os.path.join(SRC, "data"), os.path.join(dest, "data"))
    return dest


def _start_wineserver():
    """A persistent wineserver started with its output detached: a server started by the first
    program would inherit that program's pipes and keep them open after it ended."""
    subprocess.run([WINESERVER, "-p"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30, start_new_session=True)


class Result:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def run(args, timeout=60, extra_env=None, cwd=None, check=False):
    """Runs a program to its end. Output goes through files, never pipes, so a helper process
    that outlives the program cannot hold the call."""
    import tempfile
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.Popen(WINE + list(args), env=env(extra_env), stdout=out, stderr=err,
                             stdin=subprocess.DEVNULL, cwd=cwd)
        try:
            rc = p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)
            raise
        out.seek(0)
        err.seek(0)
        r = Result(rc, out.read(), err.read())
    if check and r.returncode != 0:
        raise HarnessError("%s exited %d: %s %s" % (args[0], r.returncode, r.stdout.decode(errors="replace"),
                                                   r.stderr.decode(errors="replace")))
    return r


def start(args, extra_env=None, cwd=None):
    """Starts a program; its output is discarded (tests observe programs through the platform)."""
    return subprocess.Popen(WINE + list(args), env=env(extra_env), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, cwd=cwd)


def stop(p, timeout=10):
    if p.poll() is None:
        p.terminate()
        try:
            p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)


def wait_until(fn, timeout=10.0, interval=0.05, what="condition"):
    """Polls the state fn() until it holds; the timeout only bounds the wait. A wait gives up only
    on a reading of the state taken after its last pause, never on the clock alone, and never
    before a minute: a state that holds is seen at once, and a busy machine may take that long."""
    timeout = max(timeout, 60.0)
    deadline = time.monotonic() + timeout
    while True:
        last = fn()
        if last:
            return last
        if time.monotonic() >= deadline:
            break
        time.sleep(interval)
    raise HarnessError("timed out after %.1f s waiting for %s (last: %r)" % (timeout, what, last))


def probe(*args, timeout=30):
    """Runs twprobe.exe; returns a list of dicts, one per output record (records end with a blank line)."""
    r = run([os.path.join(BIN, "twprobe.exe")] + [str(a) for a in args], timeout=timeout)
    out = r.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
    records, cur = [], {}
    for line in out.split("\n"):
        if not line.strip():
            if cur:
                records.append(cur)
                cur = {}
            continue
        k, _, v = line.partition("=")
        cur[k.strip()] = v
    if cur:
        records.append(cur)
    if r.returncode != 0 and not records:
        return []
    return records


def xdotool(*args, timeout=15):
    return subprocess.run(["xdotool"] + [str(a) for a in args], env=env(), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], env=env(), timeout=30, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


def pixel(png, x, y):
    """The colour of one pixel of a screenshot as (r, g, b)."""
    fmt = ",".join("%%[fx:int(255*p{%d,%d}.%s+0.5)]" % (x, y, c) for c in "rgb")
    r = subprocess.run(["convert", png, "-format", fmt, "info:"], stdout=subprocess.PIPE, timeout=30, check=True)
    return tuple(int(v) for v in r.stdout.decode().split(","))


def opened_log():
    """What the test opener (twopen.exe) was asked to open, in order."""
    if not os.path.exists(OPEN_LOG):
        return []
    with open(OPEN_LOG, encoding="utf-8", errors="replace") as f:
        return [l.rstrip("\n") for l in f if l.strip()]


def clear_opened_log():
    if os.path.exists(OPEN_LOG):
        os.remove(OPEN_LOG)


def kill_wine_programs():
    """Ends every program of the prefix (between tests), keeping the session."""
    subprocess.run([WINESERVER, "-k"], env=env(), timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env(), timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _start_wineserver()


if __name__ == "__main__":
    cmd = sys.argv[1] if len(sys.argv) > 1 else "setup"
    if cmd == "setup":
        try:
            st = ensure()
        except (HarnessError, OSError, subprocess.SubprocessError) as e:
            sys.exit("wine setup failed (%s build): %s" % (CONFIG["arch"], e))
        print("wine session ready: %s build, %s prefix, display %s, prefix %s, portal %s" % (
            CONFIG["arch"], "64-bit" if WIN64 else "32-bit", st.get("display"), PREFIX, PORTAL))
    elif cmd == "teardown":
        teardown()
        print("wine session ended")
    elif cmd == "env":
        for k, v in env().items():
            if k.startswith(("WINE", "DISPLAY", "LANG", "LC_", "LOCPATH", "ALSA")):
                print("export %s=%q" % (k, v) if False else "export %s='%s'" % (k, v))
    else:
        sys.exit("usage: harness.py setup|teardown|env")
