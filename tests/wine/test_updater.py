"""The updater Feltram.exe under Wine, with the portal's address answered by a scripted server this
test runs on the portal's loopback port: a newer version is downloaded with a counting status line
and opened (seen through the test prefix's installer-package opener) when its signature verifies,
a tampered, foreign-signed or unsigned package is removed and never opened, the verified package
stays closed to writers from its check for as long as the installer runs while the updater answers
and ends at once, the same version is up to date, an unreachable
portal and a failed or stalled package download are reported, an unreadable installed version is
not checked, closing is refused while the package downloads, and the shell stays open when the
update information did not arrive, the updater cannot be started, or the updater failed on that
version less than a day ago (and announces it again once that note is a day old)."""
import os
import re
import shutil
import sys
import threading
import time
import unittest
import http.server
import socketserver

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

sys.path.insert(0, os.path.join(harness.SRC, "installer"))
import update_signing  # noqa: E402

BUILD_KEY = os.path.join(harness.BUILD, "keys", "update_private.pem")

CAPTION = "Tarnwick在线更新"
CHECKING = "正在检查最新版版,请稍后....."
UPGRADING = "已找到最新版本,正在升级,已完成:"
UP_TO_DATE = "当前已经是最新版本! ^_^"
FAILED = "更新失败!请检查网络连接重新更新!"
PACKAGE_FAILED = "升级包下载失败!"
CANNOT_CHECK = "无法检查最新版本!"
UNVERIFIED = "升级包校验失败!"
UNVERIFIED_MESSAGE = "升级包校验失败,已删除!请重新更新!"
NOT_STARTED = "无法启动更新程序Feltram.exe!"
SHELL_TITLE = "Tarnwick更新"
SHELL_MESSAGE = "已发现更新的版本,马上进行自动更新!"
SHELL_CAPTION = "欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界"
WS_DISABLED = 0x08000000
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND, SC_MINIMIZE = 0x0112, 0xF020


class ScriptedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        self.server.requests.append((time.time(), path))
        answer = self.server.answers.get(path)
        if answer is None:
            body, code, rate = b"<html>not found</html>", 404, None
        else:
            body, code, rate = answer
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream" if code == 200 else "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if not rate:
            self.wfile.write(body)
            return
        if rate == "stall":  # a part, then nothing while the test runs: only the client can give up
            self.wfile.write(body[:len(body) // 3])
            self.wfile.flush()
            self.server.released.wait(60)
            return
        chunk = max(1, rate // 10)
        for i in range(0, len(body), chunk):
            try:
                self.wfile.write(body[i:i + chunk])
                self.wfile.flush()
            except OSError:
                return
            time.sleep(0.1)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class UpdaterTest(unittest.TestCase):
    """Each test holds the portal's port: the session's demo portal is stopped for the test and
    started again afterwards."""

    @classmethod
    def setUpClass(cls):
        harness.ensure()
        cls.dir = harness.install_copy("updater")
        cls.dll = harness.winpath(os.path.join(cls.dir, "Corvala.dll"))
        r = harness.run(["regsvr32", "/s", cls.dll], timeout=60)
        assert r.returncode == 0, "regsvr32 failed"
        cls.package = bytes((i * 31 + 7) % 256 for i in range(600_000))
        cls.other_key = os.path.join(cls.dir, "other_private.pem")
        update_signing.genkey(cls.other_key, os.path.join(cls.dir, "other_public.pem"))

    @classmethod
    def tearDownClass(cls):
        harness.run(["regsvr32", "/u", "/s", cls.dll], timeout=60)
        harness.ensure()

    def setUp(self):
        self.server = None
        self.proc = None
        self.data = os.path.join(self.dir, "data")
        for name in ("updata.tmp", "Zentronew.msi", "updfail.dat"):
            if os.path.exists(os.path.join(self.data, name)):
                os.remove(os.path.join(self.data, name))
        harness.clear_opened_log()
        self.take_port()

    def tearDown(self):
        if self.proc:
            harness.stop(self.proc)
        harness.kill_wine_programs()
        if self.server:
            self.server.released.set()
            self.server.shutdown()
            self.server.server_close()
        harness.ensure()

    # --- the portal's port ---

    def take_port(self):
        if not harness.take_portal_port():
            self.skipTest("port %d is held by another program" % harness.PORTAL_PORT)

    def serve(self, answers):
        self.server = Server(("127.0.0.1", harness.PORTAL_PORT), ScriptedHandler)
        self.server.answers = answers
        self.server.requests = []
        self.server.released = threading.Event()
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def paths(self):
        return [p for _, p in self.server.requests] if self.server else []

    # --- the program ---

    def installed(self, text):
        with open(os.path.join(self.data, "system", "verinfo.dat"), "wb") as f:
            f.write(text)

    def signed(self, versions, package=None, key=BUILD_KEY):
        """Update information with the signature line of `package` (the test's package)."""
        path = os.path.join(self.dir, "signed.tmp")
        with open(path, "wb") as f:
            f.write(self.package if package is None else package)
        return update_signing.signature_line(key, path).encode() + b"\r\n" + versions

    def start(self, extra_env=None):
        self.proc = harness.start([os.path.join(self.dir, "Feltram.exe")], extra_env=extra_env)
        recs = harness.wait_until(lambda: harness.probe("find", CAPTION, "*"), 20, 0.2, "the updater window")
        self.hwnd = recs[0]["hwnd"]

    def children(self):
        return harness.probe("children", self.hwnd)

    def status(self):
        for c in self.children():
            if c.get("class") == "Static" and c.get("text") not in ("", "Tarnwick"):
                return c["text"]
        return ""

    def button(self):
        for c in self.children():
            if c.get("class") == "Button":
                return c
        return None

    def wait_status(self, text, timeout=20):
        return harness.wait_until(lambda: self.status() == text, timeout, 0.2, "status %r" % text)

    def message_box(self, timeout=20):
        recs = harness.wait_until(lambda: harness.probe("find", "Tarnwick", "#32770"), timeout, 0.2, "a message box")
        box = recs[0]["hwnd"]
        texts = [c.get("text", "") for c in harness.probe("children", box)]
        return box, texts

    def dismiss(self, box):
        harness.probe("post", box, WM_COMMAND, 1, 0)
        harness.wait_until(lambda: not harness.probe("find", "Tarnwick", "#32770"), 10, 0.2, "the box to close")

    def assert_window_stays(self):
        # Sent, as the frame's close button sends it: handled, and any closing done, when the call returns.
        self.assertEqual(harness.probe("send", self.hwnd, WM_CLOSE, 0, 0)[0]["ok"], "1", "the window closed")
        self.assertTrue(harness.probe("find", CAPTION, "*"), "the window closed")
        self.assertIsNone(self.proc.poll())

    def close_and_wait(self):
        harness.probe("post", self.hwnd, WM_CLOSE, 0, 0)
        self.proc.wait(60)
        self.assertEqual(self.proc.returncode, 0)

    # --- the tests ---

    def test_newer_version_downloads_opens_the_package_and_ends(self):
        self.installed(b"100\r\n105\r\n")
        # Paced slowly enough for the test to see several steps; the loop follows the updater until
        # it ends (the bound only bounds the wait).
        self.serve({"/updatainfo.txt": (self.signed(b"104\r\n106\r\n"), 200, None),
                    "/ZentroVrindle.msi": (self.package, 200, 60_000)})
        self.start()
        statuses, closing_refused, disabled_seen = [], False, False
        deadline = time.monotonic() + 300
        while self.proc.poll() is None:
            self.assertLess(time.monotonic(), deadline, "the updater did not end: %r" % statuses)
            try:
                s = self.status()
                b = self.button()
            except harness.HarnessError:
                break
            if s and (not statuses or statuses[-1] != s):
                statuses.append(s)
            if b and int(b["style"], 16) & WS_DISABLED:
                disabled_seen = True
                if not closing_refused and any(x.startswith(UPGRADING) and x != UPGRADING + "0%" for x in statuses):
                    self.assert_window_stays()
                    closing_refused = True
            time.sleep(0.1)
        self.proc.wait(60)
        self.assertEqual(self.proc.returncode, 0)
        self.assertTrue(disabled_seen, "完成 was never disabled during the download")
        self.assertTrue(closing_refused, "the download was over before closing could be tried: %r" % statuses)
        self.assertIn(UPGRADING + "0%", statuses)
        percents = [float(m.group(1)) for s in statuses for m in [re.fullmatch(re.escape(UPGRADING) + r"(\d+\.\d)%", s)]
                    if m]
        self.assertGreaterEqual(len(percents), 3, statuses)
        self.assertEqual(percents, sorted(percents))
        self.assertLess(percents[0], 100.0)
        with open(os.path.join(self.data, "Zentronew.msi"), "rb") as f:
            self.assertEqual(f.read(), self.package)
        opened = harness.opened_log()
        self.assertEqual(len(opened), 1, opened)
        self.assertTrue(opened[0].lower().endswith("\\data\\zentronew.msi"), opened)
        paths = self.paths()
        self.assertEqual(paths, ["/updatainfo.txt", "/ZentroVrindle.msi"])
        times = [t for t, _ in self.server.requests]
        self.assertGreaterEqual(times[1] - times[0], 0.9)  # the one-second timer

    def test_package_in_a_folder_the_code_page_cannot_spell_is_opened(self):
        # Installed per user: the folder may carry a user name whose characters the ANSI code
        # page (here 1252, the C locale's) lacks.
        folder = self.dir + "-\u5F20\u4F1F"
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(self.dir, folder)
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        with open(os.path.join(folder, "data", "system", "verinfo.dat"), "wb") as f:
            f.write(b"105\r\n")
        self.serve({"/updatainfo.txt": (self.signed(b"106\r\n"), 200, None),
                    "/ZentroVrindle.msi": (self.package, 200, None)})
        self.proc = harness.start([os.path.join(folder, "Feltram.exe")],
                                  extra_env={"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        opened = harness.wait_until(harness.opened_log, 40, 0.2, "the package to be opened")
        self.assertTrue(opened[0].endswith("-\u5F20\u4F1F\\data\\Zentronew.msi"), opened)
        self.proc.wait(60)

    def test_same_version_is_up_to_date_and_downloads_nothing(self):
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (b"105\r\n", 200, None), "/ZentroVrindle.msi": (self.package, 200, None)})
        self.start()
        self.wait_status(UP_TO_DATE)
        self.assertFalse(int(self.button()["style"], 16) & WS_DISABLED)
        self.close_and_wait()
        # Once the updater has ended, every request it would have made has been made.
        self.assertEqual(self.paths(), ["/updatainfo.txt"])
        self.assertEqual(harness.opened_log(), [])

    def test_unreachable_portal_without_earlier_copy_reports_the_failure(self):
        self.installed(b"105\r\n")
        self.start()
        box, texts = self.message_box()
        self.assertIn(FAILED, texts)
        self.dismiss(box)
        self.assertEqual(self.status(), CHECKING)
        self.assertFalse(int(self.button()["style"], 16) & WS_DISABLED)
        self.close_and_wait()
        self.assertEqual(harness.opened_log(), [])

    def test_failed_package_download_is_reported_and_nothing_is_opened(self):
        self.installed(b"105\r\n")
        with open(os.path.join(self.data, "Zentronew.msi"), "wb") as f:
            f.write(b"an older package")
        self.serve({"/updatainfo.txt": (b"106\r\n", 200, None)})
        self.start()
        box, texts = self.message_box()
        self.assertIn(FAILED, texts)
        self.dismiss(box)
        self.assertEqual(self.status(), PACKAGE_FAILED)
        self.assertFalse(int(self.button()["style"], 16) & WS_DISABLED)
        self.assertEqual(harness.opened_log(), [])
        with open(os.path.join(self.data, "Zentronew.msi"), "rb") as f:
            self.assertEqual(f.read(), b"an older package")
        self.close_and_wait()

    def test_stalled_package_download_fails_within_the_limit(self):
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (b"106\r\n", 200, None), "/ZentroVrindle.msi": (self.package, 200, "stall")})
        self.start({"TW_FELTRAM_STALL_MS": "1500"})
        box, texts = self.message_box(timeout=15)
        self.assertIn(FAILED, texts)
        self.assertFalse(self.server.released.is_set())  # the server still holds the transfer open
        self.dismiss(box)
        self.assertEqual(self.status(), PACKAGE_FAILED)
        self.close_and_wait()
        self.assertEqual(harness.opened_log(), [])

    def test_package_that_fails_verification_is_removed_and_never_opened(self):
        self.installed(b"105\r\n")
        self.serve({})
        package = os.path.join(self.data, "Zentronew.msi")
        for case, info, served in (("tampered", self.signed(b"106\r\n"), self.package[:-1] + b"\0"),
                                   ("other key", self.signed(b"106\r\n", key=self.other_key), self.package),
                                   ("unsigned", b"106\r\n", self.package)):
            with self.subTest(case):
                self.server.answers = {"/updatainfo.txt": (info, 200, None), "/ZentroVrindle.msi": (served, 200, None)}
                self.start()
                box, texts = self.message_box()
                self.assertIn(UNVERIFIED_MESSAGE, texts)
                self.assertFalse(os.path.exists(package))
                self.dismiss(box)
                self.assertEqual(self.status(), UNVERIFIED)
                self.close_and_wait()
                self.assertEqual(harness.opened_log(), [])
                with open(os.path.join(self.data, "updfail.dat"), "rb") as f:
                    self.assertEqual(f.read(), b"106\r\n")

    def test_verified_package_is_closed_to_writers_until_the_installer_has_it(self):
        # The test opener stands in for the installer and for another program at once: it
        # reads the package, and tries to open it for writing and to rename it.
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (self.signed(b"106\r\n"), 200, None),
                    "/ZentroVrindle.msi": (self.package, 200, None)})
        self.start({"TW_OPEN_TRY_WRITE": "1"})
        opened = harness.wait_until(harness.opened_log, 40, 0.2, "the package to be opened")
        self.assertTrue(opened[0].lower().endswith("\\data\\zentronew.msi\tread=ok write=no rename=no"), opened)
        self.proc.wait(60)
        with open(os.path.join(self.data, "Zentronew.msi"), "rb") as f:
            self.assertEqual(f.read(), self.package)

    def test_updater_answers_and_ends_while_the_installer_starts_and_the_package_stays_closed(self):
        # The opener stands in for an installer that takes its time: it never waits for input and
        # holds until the test lets it go; only then does it try to write and rename the package.
        release = os.path.join(self.dir, "release.flag")
        if os.path.exists(release):
            os.remove(release)
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (self.signed(b"106\r\n"), 200, None),
                    "/ZentroVrindle.msi": (self.package, 200, None)})
        self.start({"TW_OPEN_TRY_WRITE": "1", "TW_OPEN_HOLD": harness.winpath(release)})
        try:
            harness.wait_until(harness.opened_log, 40, 0.2, "the installer to start")
            # Its window goes on handling its queue (a posted minimise), if it is still there at all.
            harness.probe("post", self.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0)

            def handled():
                recs = harness.probe("find", CAPTION, "*")
                return not recs or recs[0].get("iconic") == "1"
            harness.wait_until(handled, 5, 0.1, "the updater's window to handle its messages")
            # The updater ends while the installer still runs and has not gone idle.
            self.proc.wait(60)
            self.assertEqual(self.proc.returncode, 0)
            self.assertEqual(len(harness.opened_log()), 1, "the installer was let go")
        finally:
            with open(release, "w"):
                pass
        opened = harness.wait_until(lambda: harness.opened_log()[1:], 20, 0.2, "the installer's tries")
        # The package stays closed to writers for as long as the installer runs.
        self.assertTrue(opened[0].lower().endswith("\\data\\zentronew.msi\tread=ok write=no rename=no"), opened)

    def test_unreadable_installed_version_is_not_checked(self):
        self.installed(b"version one\r\n")
        self.serve({"/updatainfo.txt": (b"106\r\n", 200, None)})
        self.start()
        self.wait_status(CANNOT_CHECK)
        self.close_and_wait()
        self.assertEqual(self.paths(), [])

    # --- the shell's check at start-up ---

    def start_shell(self):
        self.proc = harness.start([os.path.join(self.dir, "Tarnwick.exe")])

    def test_shell_announces_a_newer_version_starts_the_updater_and_closes(self):
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (self.signed(b"105\r\n106\r\n"), 200, None),
                    "/ZentroVrindle.msi": (self.package, 200, None)})
        self.start_shell()
        recs = harness.wait_until(lambda: harness.probe("find", SHELL_TITLE, "#32770"), 30, 0.2, "the shell's message")
        texts = [c.get("text", "") for c in harness.probe("children", recs[0]["hwnd"])]
        self.assertIn(SHELL_MESSAGE, texts)
        self.assertFalse(harness.probe("find", CAPTION, "*"), "the updater started before the message was closed")
        self.dismiss_box(recs[0]["hwnd"], SHELL_TITLE)
        self.proc.wait(60)
        # The updater runs on: it fetches the package, opens it and ends.
        harness.wait_until(lambda: harness.opened_log(), 40, 0.2, "the package to be opened")
        self.assertTrue(harness.opened_log()[0].lower().endswith("\\data\\zentronew.msi"), harness.opened_log())
        self.assertEqual(self.paths()[0], "/updatainfo.txt")
        self.assertIn("/ZentroVrindle.msi", self.paths())

    def test_shell_announces_a_version_again_once_its_failure_note_is_a_day_old(self):
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (b"106\r\n", 200, None)})
        note, info = os.path.join(self.data, "updfail.dat"), os.path.join(self.data, "updata.tmp")
        with open(note, "wb") as f:
            f.write(b"106\r\n")
        day = 24 * 3600
        # A note under a day old: the shell stays open and says nothing.
        written = time.time() - day + 600
        os.utime(note, (written, written))
        self.start_shell()
        shell = harness.wait_until(lambda: harness.probe("find", SHELL_CAPTION, "*"), 30, 0.2, "the shell's window")
        harness.wait_until(lambda: os.path.exists(info), 30, 0.2, "the update information")
        # The check runs in the handler that saved the file: once the window answers, it is over.
        self.assertEqual(harness.probe("send", shell[0]["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL
        self.assertFalse(harness.probe("find", SHELL_TITLE, "#32770"))
        self.assertIsNone(self.proc.poll())
        harness.probe("post", shell[0]["hwnd"], WM_CLOSE, 0, 0)
        self.proc.wait(60)
        # A day old: the version is announced again.
        os.remove(info)
        written = time.time() - day - 60
        os.utime(note, (written, written))
        self.start_shell()
        recs = harness.wait_until(lambda: harness.probe("find", SHELL_TITLE, "#32770"), 30, 0.2, "the shell's message")
        self.assertIn(SHELL_MESSAGE, [c.get("text", "") for c in harness.probe("children", recs[0]["hwnd"])])

    def test_shell_stays_open_without_a_message_when_up_to_date(self):
        self.installed(b"1.10\r\n")
        self.serve({"/updatainfo.txt": (b"1.1\r\n", 200, None)})
        self.start_shell()
        shell = harness.wait_until(lambda: harness.probe("find", SHELL_CAPTION, "*"), 30, 0.2, "the shell's window")
        info = os.path.join(self.data, "updata.tmp")
        harness.wait_until(lambda: os.path.exists(info), 30, 0.2, "the update information")
        # The check runs in the handler that saved the file: once the window answers, it is over.
        self.assertEqual(harness.probe("send", shell[0]["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL
        self.assertFalse(harness.probe("find", SHELL_TITLE, "#32770"))
        self.assertFalse(harness.probe("find", CAPTION, "*"))
        self.assertIsNone(self.proc.poll())

    def test_shell_without_portal_ignores_an_earlier_newer_copy(self):
        self.installed(b"105\r\n")
        with open(os.path.join(self.data, "updata.tmp"), "wb") as f:
            f.write(b"106\r\n")
        self.start_shell()
        harness.wait_until(lambda: harness.probe("find", SHELL_CAPTION, "*"), 30, 0.2, "the shell's window")
        time.sleep(4)  # the refused transfer has long ended by now
        self.assertFalse(harness.probe("find", SHELL_TITLE, "#32770"))
        self.assertFalse(harness.probe("find", CAPTION, "*"))
        self.assertIsNone(self.proc.poll())

    def test_shell_stays_open_when_the_updater_cannot_be_started(self):
        self.installed(b"105\r\n")
        self.serve({"/updatainfo.txt": (b"106\r\n", 200, None)})
        updater = os.path.join(self.dir, "Feltram.exe")
        os.rename(updater, updater + ".away")
        try:
            self.start_shell()
            def box_saying(text):
                for r in harness.probe("find", SHELL_TITLE, "#32770"):
                    if text in [c.get("text", "") for c in harness.probe("children", r["hwnd"])]:
                        return r["hwnd"]
                return None
            box = harness.wait_until(lambda: box_saying(SHELL_MESSAGE), 30, 0.2, "the announcement")
            harness.probe("post", box, WM_COMMAND, 1, 0)
            box = harness.wait_until(lambda: box_saying(NOT_STARTED), 10, 0.2, "the failure message")
            self.dismiss_box(box, SHELL_TITLE)
            # The window still answers once the handler that showed the boxes has returned.
            shell = harness.probe("find", SHELL_CAPTION, "*")
            self.assertTrue(shell, "the shell's window closed")
            self.assertEqual(harness.probe("send", shell[0]["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL
            self.assertTrue(harness.probe("find", SHELL_CAPTION, "*"), "the shell's window closed")
            self.assertIsNone(self.proc.poll())
        finally:
            os.rename(updater + ".away", updater)

    def dismiss_box(self, box, title):
        harness.probe("post", box, WM_COMMAND, 1, 0)
        harness.wait_until(lambda: not harness.probe("find", title, "#32770"), 10, 0.2, "the box to close")


if __name__ == "__main__":
    unittest.main()
