#!/usr/bin/env python3
"""Download benchmark under Wine: 64 MB over loopback through the download control Corvala.DFiles
against a bare URL-moniker loop with the same binding flags, alternating in the same run, with
curl's figure for reference. Needs a Windows build (TW_WIN_BUILD, default build/win) holding
Corvala.dll and twdlbench.exe; uses the Wine test harness's session.

Usage: python3 bench/dfiles_bench.py [--mb 64] [--rounds 3]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
sys.path.insert(0, os.path.join(HERE, "..", "portal"))
import harness  # noqa: E402
import server as portal_server  # noqa: E402


def parse(out):
    values = {}
    for line in out.decode(errors="replace").replace("\r\n", "\n").split("\n"):
        k, sep, v = line.partition("=")
        if sep:
            values[k] = v
    return values


def run_driver(args):
    """Runs the driver under Wine; its figures plus the Linux process's peak resident size."""
    p = subprocess.Popen(harness.WINE + args, env=harness.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = b""
    deadline = time.time() + 300
    while True:
        chunk = p.stdout.read()
        out += chunk or b""
        pid, status, usage = os.wait4(p.pid, os.WNOHANG)
        if pid:
            break
        if time.time() > deadline:
            p.kill()
            raise RuntimeError("driver did not finish")
        time.sleep(0.05)
    out += p.stdout.read() or b""
    v = parse(out)
    v["maxrss"] = usage.ru_maxrss * 1024
    v["status"] = os.waitstatus_to_exitcode(status)
    return v


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mb", type=int, default=64)
    ap.add_argument("--rounds", type=int, default=3)
    a = ap.parse_args()

    harness.ensure()
    work = os.path.join(harness.BUILD, "bench-dfiles")
    shutil.rmtree(work, ignore_errors=True)
    site, out = os.path.join(work, "site"), os.path.join(work, "out")
    os.makedirs(site)
    os.makedirs(out)
    size = a.mb * 1024 * 1024
    with open(os.path.join(site, "big.bin"), "wb") as f:
        block = bytes((i * 7) % 251 for i in range(1 << 20))
        for _ in range(a.mb):
            f.write(block)
    srv, _ = portal_server.start_server(site, 0)
    url = "http://127.0.0.1:%d/big.bin" % srv.server_address[1]
    dll = harness.winpath(os.path.join(harness.BIN, "Corvala.dll"))
    harness.run(["regsvr32", "/s", dll], timeout=60, check=True)
    driver = os.path.join(harness.BIN, "twdlbench.exe")
    results = {"bare": [], "dfiles": []}
    try:
        for _ in range(a.rounds):
            for kind in ("bare", "dfiles"):
                target = os.path.join(out, kind + ".bin")
                if os.path.exists(target):
                    os.remove(target)
                if kind == "bare":
                    v = run_driver([driver, "bare", url, harness.winpath(target)])
                else:
                    v = run_driver([driver, "dfiles", url, harness.winpath(out) + "\\", kind + ".bin"])
                if v.get("status") != 0 or int(v.get("bytes", -1)) != size or os.path.getsize(target) != size:
                    raise RuntimeError("%s download failed: %r" % (kind, v))
                results[kind].append(v)
        curl = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{speed_download}", url],
                              stdout=subprocess.PIPE, timeout=120).stdout.decode()
    finally:
        srv.shutdown()
        srv.server_close()
        harness.run(["regsvr32", "/u", "/s", dll], timeout=60)

    def mbps(seconds):
        return size / seconds / 1e6

    print("%d MB over loopback, %d rounds each (median)" % (a.mb, a.rounds))
    bare_s = statistics.median(float(v["seconds"]) for v in results["bare"])
    print("bare URL-moniker loop : %7.1f MB/s  peak working set %6.1f MB  peak RSS %6.1f MB" % (
        mbps(bare_s), max(int(v["peak.workingset"]) for v in results["bare"]) / 1e6,
        max(v["maxrss"] for v in results["bare"]) / 1e6))
    for key, label in (("seconds", "DFiles to DLComplete  "), ("seconds.idle", "DFiles until idle     ")):
        s = statistics.median(float(v[key]) for v in results["dfiles"])
        print("%s: %7.1f MB/s  ratio %.2f" % (label, mbps(s), bare_s / s))
    print("DFiles peak working set %6.1f MB  peak RSS %6.1f MB" % (
        max(int(v["peak.workingset"]) for v in results["dfiles"]) / 1e6,
        max(v["maxrss"] for v in results["dfiles"]) / 1e6))
    print("curl (reference)      : %7.1f MB/s" % (float(curl or 0) / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
