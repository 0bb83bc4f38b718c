"""Relay round trip under Wine: start Brask with a link, the list file is rewritten, Brask has ended;
against starting a trivial console program the same way the same number of times. Prints the
medians and their ratios. Two more rows show where the time goes: a trivial program that loads
USER32 (which under Wine brings up the display driver) and Brask with a command the shell
ignores. The first of them is the relay's floor: target, the round trip at most 1.18 times it.

Both are started from inside Wine by twlaunch.exe (CreateProcess with an exact command line, then a
wait for the end), so the times leave out Wine's own loader start-up on the Linux side. The shell
side is the real Tarnwick.exe when the build has it, else the stand-alone command window host.

    TW_WIN_BUILD=build/win python3 bench/relay_bench.py [runs]
"""
import os
import re
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "wine"))
import harness as h  # noqa: E402


def launch(inst, program, tail, runs):
    r = h.run([os.path.join(inst, "twlaunch.exe"), h.winpath(os.path.join(inst, program)), str(runs), "20000"],
              extra_env={"TW_LAUNCH_TAIL": tail}, timeout=60 + 20 * runs)
    out = r.stdout.decode("utf-8", errors="replace")
    if "timeout=1" in out:
        raise SystemExit("a run did not end: %s" % out)
    return [float(m) for m in re.findall(r"ms=([\d.]+)", out)]


def main():
    runs = max(30, int(sys.argv[1]) if len(sys.argv) > 1 else 31)
    h.ensure()
    h.kill_wine_programs()
    inst = h.install_copy("relay_bench")
    leftview = os.path.join(inst, "data", "leftview")
    os.makedirs(leftview, exist_ok=True)
    favorites = os.path.join(leftview, "gamefavorites.xml")
    items = b"".join(b"<item><txt>g%d</txt><url><![CDATA[http://127.0.0.1/g%d.htm]]></url></item>\r\n" % (i, i)
                     for i in range(runs + 5))
    with open(favorites, "wb") as f:
        f.write(b'<?xml version="1.0" encoding="gb2312"?>\r\n<root>\r\n' + items + b"</root>\r\n")

    shell = "Tarnwick.exe" if os.path.exists(os.path.join(inst, "Tarnwick.exe")) else "twcmdhost.exe"
    p = h.start([os.path.join(inst, shell)] + (["600"] if shell == "twcmdhost.exe" else []))
    try:
        def ready():
            try:
                return h.probe("find", "FrmQorMess", "*", timeout=10)
            except Exception:
                return None
        h.wait_until(ready, timeout=60, interval=0.5, what="the command window")
        time.sleep(1.0)  # let the shell finish its start-up work
        launch(inst, "twlaunch.exe", "--noop", 3)  # warm the programs' files
        launch(inst, "Brask.exe", '"qorzentro://sub9|0/"', 3)
        # Interleaved, so that a busy machine weighs on every row alike.
        trivial, user32, relay, alone = [], [], [], []
        for _ in range(runs):
            trivial += launch(inst, "twlaunch.exe", "--noop", 1)
            user32 += launch(inst, "twlaunch.exe", "--noop-user32", 1)
            relay += launch(inst, "Brask.exe", '"qorzentro://sub4|0/"', 1)
            alone += launch(inst, "Brask.exe", '"qorzentro://sub9|0/"', 1)
    finally:
        h.stop(p)
        h.kill_wine_programs()
    with open(favorites, "rb") as f:
        left = f.read().count(b"<item>")
    if left != 5:
        raise SystemExit("expected %d deletions, %d records are left of %d" % (runs, left, runs + 5))
    t, u, r, a = (statistics.median(x) for x in (trivial, user32, relay, alone))
    print("shell side: %s, %d runs each" % (shell, runs))
    print("trivial console program          median %7.2f ms" % t)
    print("trivial program calling USER32   median %7.2f ms  ratio %.2f" % (u, u / t))
    print("Brask, command ignored           median %7.2f ms  ratio %.2f" % (a, a / t))
    # Brask is itself a USER32 program: the one that loads USER32 is its floor under Wine.
    print("Brask round trip with deletion   median %7.2f ms  ratio %.2f, %.2f against the USER32 program "
          "(target <= 1.18, its floor)" % (r, r / t, r / u))


if __name__ == "__main__":
    main()
