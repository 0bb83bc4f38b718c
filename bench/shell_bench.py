"""The shell under Wine: time from process start to its painted main window, from WM_CLOSE to the
process's end, and idle CPU once it runs.

Start-up: twwindowtime.exe starts a program from inside Wine (CreateProcess, so Wine's own loader
start-up on the Linux side is left out) and polls for the first visible top-level window of the new
process with nothing left to paint. Tarnwick.exe is compared with the least window program
(twwindowtime.exe --window: one class, one window, shown and painted at once), runs interleaved so
that a busy machine weighs on both alike. Target: median ratio <= 1.3.

Shut-down: the same runs then post WM_CLOSE to that window and time until the process has ended
(and, shown too, until the window is gone). Target: median ratio <= 1.5 against the least window
program, which ends on WM_CLOSE through DefWindowProc.

Idle CPU: Tarnwick.exe started and left alone (pointer away from it) for a settling time, then the
user and system time of its process (/proc/<pid>/stat) over 30 s. Target: <= 1 % of one core. The
wineserver's time over the same span is shown too: the shell's timers and messages pass through it.

The toolbar and tab strip use the real image buttons (Corvala.dll registered from the installation
folder for the run); the browser panes are whatever the prefix provides for the WebBrowser class.
Four more start-up rows show where the time goes: the least window program holding as many
plain child windows as the shell shows, clipped and colour-keyed like the shell (the cost of
that window tree alone, without content); the least window program carrying the
shell's manifest and start-up libraries (twwindowlibs.exe: common controls 6, OLE), the fixed
cost every start of the shell pays before its own work; the browsers stood in by the test browser
(twstandin.dll, registered for those runs only), and in addition no image-button library
registered (the toolbar falls back to plain push buttons).

    TW_WIN_BUILD=build/win python3 bench/shell_bench.py [runs] [idle-seconds]
"""
import os
import re
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "wine"))
import harness as h  # noqa: E402

CAPTION = "欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界"


def window_time(inst, program, *arguments):
    args = [os.path.join(inst, "twwindowtime.exe"), h.winpath(os.path.join(inst, program)), "1", "30000"]
    args += arguments
    r = h.run(args, timeout=90)
    out = r.stdout.decode("utf-8", errors="replace")
    m = re.search(r"ms=([\d.]+)\s+visible=(\d)\s+closed=(\d)\s+close.ms=([\d.]+)\s+gone.ms=([\d.]+)", out)
    if not m or m.group(2) != "1":
        raise SystemExit("%s showed no window: %r" % (program, out))
    if m.group(3) != "1":
        print("note: %s did not end on WM_CLOSE and was terminated" % program)
    return float(m.group(1)), float(m.group(4)), float(m.group(5))


def cpu_ticks(pid):
    """User + system time of a process in clock ticks (fields 14 and 15 of /proc/<pid>/stat)."""
    with open("/proc/%d/stat" % pid) as f:
        data = f.read()
    fields = data[data.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])


def pids_of(name):
    """Linux processes whose command line names `name` (a Windows program under Wine)."""
    out = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode("utf-8", errors="replace")
        except OSError:
            continue
        if name.lower() in cmd.lower():
            out.append(int(entry))
    return out


def wineserver_pid():
    for pid in sorted(pids_of("wineserver"), reverse=True):
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                env = f.read()
        except OSError:
            continue
        if ("WINEPREFIX=" + h.PREFIX).encode() in env:
            return pid
    return None


def shell_tree_size(inst):
    """How many child windows the shell's main window shows once it runs (all levels)."""
    p = h.start([os.path.join(inst, "Tarnwick.exe")])
    try:
        found = h.wait_until(lambda: [r for r in h.probe("find", CAPTION, "TarnwickMain") if r["visible"] == "1"], 60,
                             interval=0.5, what="the main window")
        return len([c for c in h.probe("children", found[0]["hwnd"]) if c.get("visible") == "1"])
    finally:
        h.stop(p)
        h.kill_wine_programs()


def idle_cpu(inst, seconds):
    p = h.start([os.path.join(inst, "Tarnwick.exe")])
    try:
        h.wait_until(lambda: [r for r in h.probe("find", CAPTION, "TarnwickMain") if r["visible"] == "1"], 60,
                     interval=0.5, what="the main window")
        h.xdotool("mousemove", "--sync", 1, 1)
        time.sleep(5.0)  # start-up work (update check, first timers) is over
        # This run's shell only: other sessions on the machine may run their own.
        shell = pids_of(os.path.join(inst, "Tarnwick.exe"))
        if not shell:
            raise SystemExit("no Tarnwick.exe process found")
        hz = os.sysconf("SC_CLK_TCK")
        server = wineserver_pid()
        t0 = time.time()
        start = {pid: cpu_ticks(pid) for pid in shell}
        server0 = cpu_ticks(server) if server else None
        time.sleep(seconds)
        elapsed = time.time() - t0
        used = sum(cpu_ticks(pid) - start[pid] for pid in shell) / hz
        server_used = (cpu_ticks(server) - server0) / hz if server else None
        alive = p.poll() is None
    finally:
        h.stop(p)
        h.kill_wine_programs()
    if not alive:
        raise SystemExit("the shell ended during the idle measurement")
    return used, server_used, elapsed, shell


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    idle_seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    h.ensure()
    h.kill_wine_programs()
    inst = h.install_copy("shell_bench")
    corvala = h.winpath(os.path.join(inst, "Corvala.dll"))
    standin = os.path.join(h.BIN, "twstandin.dll")
    standin = h.winpath(standin) if os.path.exists(standin) else None

    def reg(dll, on):
        h.run(["regsvr32", "/s", dll] if on else ["regsvr32", "/u", "/s", dll], timeout=60, check=on)

    reg(corvala, True)
    try:
        # Warm the files and the prefix once each.
        window_time(inst, "twwindowtime.exe", "--window")
        window_time(inst, "Tarnwick.exe")
        tree_size = shell_tree_size(inst)
        least, tree, libs, shell, stood_in, plain = [], [], [], [], [], []
        for _ in range(runs):
            least.append(window_time(inst, "twwindowtime.exe", "--window"))
            tree.append(window_time(inst, "twwindowtime.exe", "--window", str(tree_size)))
            libs.append(window_time(inst, "twwindowlibs.exe"))
            shell.append(window_time(inst, "Tarnwick.exe"))
            if standin:
                reg(standin, True)
                try:
                    stood_in.append(window_time(inst, "Tarnwick.exe"))
                    reg(corvala, False)
                    plain.append(window_time(inst, "Tarnwick.exe"))
                finally:
                    reg(corvala, True)
                    reg(standin, False)
        h.kill_wine_programs()
        used, server_used, elapsed, pids = idle_cpu(inst, idle_seconds)
    finally:
        h.kill_wine_programs()
        if standin:
            reg(standin, False)
        reg(corvala, False)
    def row(label, values, column, base=None, target=None):
        values = [v[column] for v in values]
        m = statistics.median(values)
        text = "%-22s median %8.1f ms  (min %.1f, max %.1f)" % (label, m, min(values), max(values))
        if base:
            text += "  ratio %.2f" % (m / base)
        if target:
            text += " (target <= %s)" % target
        print(text)
        return m

    print("start to painted window, %d runs each, started from inside Wine" % runs)
    lm = row("least window program", least, 0)
    row("  with %d children" % tree_size, tree, 0, lm)
    row("  with the libraries", libs, 0, lm)
    row("Tarnwick.exe", shell, 0, lm, "1.3")
    for label, values in (("  browsers stood in", stood_in), ("  and no image buttons", plain)):
        if values:
            row(label, values, 0, lm)
    print("WM_CLOSE to the process's end (window gone: second rows)")
    lc = row("least window program", least, 1)
    row("Tarnwick.exe", shell, 1, lc, "1.5")
    for label, values in (("  browsers stood in", stood_in), ("  and no image buttons", plain)):
        if values:
            row(label, values, 1, lc)
    row("  window gone: least", least, 2)
    row("  window gone: Tarnwick", shell, 2)
    print("idle CPU of Tarnwick.exe (pid %s) over %.1f s: %.3f s = %.2f %% of one core (target <= 1 %%)"
          % (",".join(map(str, pids)), elapsed, used, 100.0 * used / elapsed))
    if server_used is not None:
        print("wineserver over the same span: %.3f s = %.2f %% of one core" % (server_used, 100.0 * server_used / elapsed))


if __name__ == "__main__":
    main()
