"""The download control Corvala.DFiles under Wine, bound late through twdfiles.exe, against an HTTP
server this test runs on 127.0.0.1: success, server errors, refusal, redirects, empty and cut-off
bodies, cancelling, unwritable folders, the waiting start and saving over a longer file."""
import glob
import os
import shutil
import socket
import subprocess
import sys
import threading
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

sys.path.insert(0, os.path.join(harness.SRC, "portal"))
import server as portal_server  # noqa: E402

SMALL_TEXT = b"\xc4\xe3\xba\xc3 106\r\n"  # "你好 106" in code page 936
# Over a megabyte of text whose double-byte characters straddle the control's 1 MiB blocks.
LONG_TEXT = b"a" * ((1 << 20) - 1) + b"\xc4\xe3" * 4 + b"\xba\xc3 106" + b"b" * ((1 << 20) - 14) + b"\xc4\xe3" * 3


def parse(out):
    """key=value lines; the event lines in order under 'events'."""
    values, events = {}, []
    for line in out.decode("utf-8", errors="replace").replace("\r\n", "\n").split("\n"):
        key, sep, value = line.partition("=")
        if not sep:
            continue
        if key == "event":
            events.append(value)
        else:
            values[key] = value
    values["events"] = events
    values["lines"] = out.decode("utf-8", errors="replace").replace("\r\n", "\n").split("\n")
    return values


def names(events):
    return [e.split(" ", 1)[0] for e in events]


class DownloadControlTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.ensure()
        cls.dir = harness.install_copy("download_control")
        cls.site = os.path.join(cls.dir, "site")
        os.makedirs(os.path.join(cls.site, "dir"))
        cls.body = bytes((i * 7 + i // 251) % 256 for i in range(300000))
        cls.big = bytes((i * 13) % 256 for i in range(2_000_000))
        for rel, data in (("ok.bin", cls.body), ("dir/new.bin", cls.body[:123456]), ("big.bin", cls.big),
                          ("small.txt", SMALL_TEXT), ("long.txt", LONG_TEXT), ("..\\x", b"dotted"),
                          ("a:b", b"colon")):
            with open(os.path.join(cls.site, rel), "wb") as f:
                f.write(data)
        cls.server, _ = portal_server.start_server(cls.site, 0)
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]
        cls.dll = harness.winpath(os.path.join(cls.dir, "Corvala.dll"))
        cls.driver = os.path.join(cls.dir, "twdfiles.exe")
        r = harness.run(["regsvr32", "/s", cls.dll], timeout=60)
        assert r.returncode == 0, "regsvr32 failed"

    @classmethod
    def tearDownClass(cls):
        harness.run(["regsvr32", "/u", "/s", cls.dll], timeout=60)
        cls.server.shutdown()
        cls.server.server_close()

    def setUp(self):
        self.out = os.path.join(self.dir, "out", self._testMethodName)
        if os.path.isdir(self.out):
            shutil.rmtree(self.out)
        os.makedirs(self.out)

    def tearDown(self):
        harness.kill_wine_programs()

    def get(self, url, name, *options, folder=None):
        folder = folder if folder is not None else harness.winpath(self.out) + "\\"
        r = harness.run([self.driver, "get", url, folder, name, "timeout=30"] + list(options), timeout=90)
        v = parse(r.stdout)
        self.assertEqual(v.get("done"), "1", "the transfer did not end: %r" % v["lines"])
        return v

    def target(self, name):
        return os.path.join(self.out, name)

    def leftovers(self):
        return [p for p in glob.glob(os.path.join(self.out, "*")) if os.path.basename(p).lower().startswith("dl")]

    def assert_failed(self, v, kind, text=None):
        self.assertEqual(names(v["events"])[-2:], ["DLError", "DLComplete"], v["events"])
        kind_got, _, text_got = v["events"][-2].partition(" ")[2].partition(" ")
        self.assertEqual(kind_got, str(kind))
        if text is not None:
            self.assertEqual(text_got, text)
        self.assertEqual(v["events"][-1], "DLComplete 0")
        self.assertNotIn("GetHtml", names(v["events"]))
        self.assertEqual(self.leftovers(), [])

    def test_success_saves_the_served_bytes_with_events_in_order(self):
        v = self.get(self.base + "/ok.bin", "ok.bin")
        self.assertEqual(v["begin"], "-1")
        with open(self.target("ok.bin"), "rb") as f:
            self.assertEqual(f.read(), self.body)
        n = names(v["events"])
        for earlier, later in (("DLConnected", "DLFileSize"), ("DLFileSize", "DLBeginDownload"),
                               ("DLBeginDownload", "DLProgress"), ("DLProgress", "DLComplete"),
                               ("DLComplete", "GetHtml")):
            self.assertLess(n.index(earlier), n.index(later), n)
        self.assertEqual(n[-2:], ["DLComplete", "GetHtml"])
        self.assertIn("DLComplete 300000", v["events"])
        self.assertIn("DLFileSize 300000", v["events"])
        self.assertTrue(any(e.startswith("DLProgress 1 300000 300000") for e in v["events"]), v["events"])
        self.assertEqual(v["BytesRead"], "300000")
        self.assertEqual(v["FileSize"], "300000")
        self.assertEqual(v["FileSize.vt"], "3")  # a variant holding a 32-bit integer
        self.assertEqual(v["MIMEType"], "application/octet-stream")
        self.assertEqual(v["downloading.at.complete"], "0")  # still busy inside DLComplete
        self.assertEqual(v["args.DLProgress"], "byref")
        self.assertEqual(self.leftovers(), [])

    def test_content_text_comes_through_the_ansi_code_page(self):
        v = self.get(self.base + "/small.txt", "small.txt")
        self.assertTrue(any(e.startswith("GetHtml 12 你好 106") for e in v["events"]), v["events"])
        with open(self.target("small.txt"), "rb") as f:
            self.assertEqual(f.read(), SMALL_TEXT)

    def test_long_content_text_keeps_characters_that_straddle_its_blocks(self):
        text = LONG_TEXT.decode("gbk").encode("utf-8")
        # With its size announced, and without (the text is then built in pieces).
        for path in ("/long.txt", "/__unsized/long.txt"):
            with self.subTest(path=path):
                v = self.get(self.base + path, "long.txt")
                self.assertTrue(any(e == "GetHtml %d" % len(text) for e in v["events"]),
                                [e[:40] for e in v["events"]])
                self.assertEqual(v["html.middle"], text[(1 << 20) - 4:(1 << 20) + 24].decode("utf-8"))
                self.assertEqual(v["html.end"], text[-24:].decode("utf-8"))

    def test_server_errors_fail_and_keep_the_old_file(self):
        for code in (404, 500):
            with self.subTest(code=code):
                with open(self.target("page.bin"), "wb") as f:
                    f.write(b"previous")
                v = self.get(self.base + "/__status/%d" % code, "page.bin")
                self.assert_failed(v, 99, str(code))
                with open(self.target("page.bin"), "rb") as f:
                    self.assertEqual(f.read(), b"previous")

    def test_refused_connection_fails_with_the_error_value(self):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
        v = self.get("http://127.0.0.1:%d/x.bin" % port, "x.bin")
        self.assert_failed(v, 99)
        self.assertLess(int(v["events"][-2].split(" ")[2]), 0)  # an error number
        self.assertFalse(os.path.exists(self.target("x.bin")))

    def test_redirect_fails_while_redirects_are_failures(self):
        v = self.get(self.base + "/__redirect?to=/dir/new.bin", "r.bin")
        self.assert_failed(v, 2, "Redirected to %s/dir/new.bin" % self.base)
        self.assertNotIn("DLRedirect", names(v["events"]))
        self.assertEqual(os.listdir(self.out), [])

    def test_followed_redirect_saves_under_the_new_name(self):
        for folder in (harness.winpath(self.out), harness.winpath(self.out) + "\\"):
            with self.subTest(folder=folder):
                for f in os.listdir(self.out):
                    os.remove(os.path.join(self.out, f))
                v = self.get(self.base + "/__redirect?to=/dir/new.bin", "r.bin", "follow", folder=folder)
                self.assertIn("DLRedirect %s/dir/new.bin" % self.base, v["events"])
                self.assertEqual(v["SaveFileName"], harness.winpath(self.out) + "\\new.bin")
                self.assertEqual(os.listdir(self.out), ["new.bin"])
                with open(self.target("new.bin"), "rb") as f:
                    self.assertEqual(f.read(), self.body[:123456])

    def test_followed_redirect_without_rename_keeps_the_name(self):
        v = self.get(self.base + "/__redirect?to=/dir/new.bin", "r.bin", "follow", "norename")
        self.assertEqual(names(v["events"])[-1], "GetHtml")
        self.assertEqual(os.listdir(self.out), ["r.bin"])

    def test_followed_redirect_names_the_file_as_written_and_refuses_names_that_are_not_plain(self):
        # The name is not decoded: "%5C" is no separator, so "..%5Cx" is a plain name in the folder.
        for to, body, saved in (("/..%5Cx", b"dotted", "..%5Cx"), ("/a:b", b"colon", "r.bin")):
            with self.subTest(to=to):
                for f in os.listdir(self.out):
                    os.remove(os.path.join(self.out, f))
                v = self.get(self.base + "/__redirect?to=" + urllib.parse.quote(to), "r.bin", "follow")
                self.assertEqual(names(v["events"])[-1], "GetHtml", v["events"])
                self.assertEqual(v["SaveFileName"], harness.winpath(self.target(saved)))
                self.assertEqual(os.listdir(self.out), [saved])
                with open(self.target(saved), "rb") as f:
                    self.assertEqual(f.read(), body)

    def test_local_source_is_copied_and_kept(self):
        src = os.path.join(self.dir, "source.bin")
        with open(src, "wb") as f:
            f.write(self.body[:1000])
        for url in ("file:///" + harness.winpath(src).replace("\\", "/"), harness.winpath(src)):
            with self.subTest(url=url):
                v = self.get(url, "copy.bin")
                self.assertEqual(names(v["events"])[-2:], ["DLComplete", "GetHtml"], v["events"])
                for path in (src, self.target("copy.bin")):
                    with open(path, "rb") as f:
                        self.assertEqual(f.read(), self.body[:1000])

    def test_empty_body_writes_nothing(self):
        v = self.get(self.base + "/__empty", "empty.bin")
        self.assert_failed(v, 3, "Zero bytes retrieved")
        self.assertEqual(os.listdir(self.out), [])

    def test_cut_off_body_fails_and_keeps_the_old_file(self):
        with open(self.target("cut.bin"), "wb") as f:
            f.write(b"previous")
        v = self.get(self.base + "/__drop/ok.bin", "cut.bin")
        self.assert_failed(v, 99)
        with open(self.target("cut.bin"), "rb") as f:
            self.assertEqual(f.read(), b"previous")

    def test_cancel_mid_transfer_raises_only_canceled(self):
        with open(self.target("big.bin"), "wb") as f:
            f.write(b"previous")
        v = self.get(self.base + "/__slow/big.bin?rate=100000&hold=1500000", "big.bin", "cancel")
        self.assertEqual(v.get("cancel.called"), "1")
        n = names(v["events"])
        self.assertEqual(n[-1], "DLCanceled", n)
        self.assertNotIn("DLComplete", n)
        self.assertNotIn("DLError", n)
        self.assertLess(int(v["BytesRead"]), len(self.big))
        with open(self.target("big.bin"), "rb") as f:
            self.assertEqual(f.read(), b"previous")
        self.assertEqual(self.leftovers(), [])

    def test_destroying_the_control_mid_transfer_stops_it_quietly(self):
        with open(self.target("big.bin"), "wb") as f:
            f.write(b"previous")
        r = harness.run([self.driver, "get", self.base + "/__slow/big.bin?rate=100000&hold=1500000",
                         harness.winpath(self.out) + "\\", "big.bin", "destroy", "timeout=30"], timeout=90)
        v = parse(r.stdout)
        self.assertEqual(r.returncode, 0)
        self.assertEqual(v.get("destroyed"), "1")
        self.assertEqual(v.get("survived"), "1")
        n = names(v["events"])
        self.assertNotIn("DLComplete", n)
        self.assertNotIn("DLCanceled", n)
        self.assertNotIn("DLError", n)
        with open(self.target("big.bin"), "rb") as f:
            self.assertEqual(f.read(), b"previous")
        self.assertEqual(self.leftovers(), [])

    def test_destroying_the_control_mid_transfer_gives_back_the_text_made_ahead(self):
        # The announced size gets its page text's string made ahead at the first full block:
        # twice the content's bytes, which must go with the control.
        with open(os.path.join(self.site, "huge.bin"), "wb") as f:
            f.write(bytes(range(256)) * (32 * 4096))
        r = harness.run([self.driver, "get", self.base + "/__slow/huge.bin?rate=8000000&hold=4000000",
                         harness.winpath(self.out) + "\\", "huge.bin", "destroy=2500000", "timeout=30"], timeout=90)
        v = parse(r.stdout)
        self.assertEqual(v.get("survived"), "1", v["lines"])
        grown = int(v["private.after"]) - int(v["private.before"])
        self.assertLess(grown, 16 << 20, "memory still held after the control's end: %d bytes" % grown)

    def test_second_start_while_busy_is_refused(self):
        v = self.get(self.base + "/__slow/ok.bin?rate=400000", "ok.bin", "twice")
        self.assertEqual(v["begin"], "-1")
        self.assertEqual(v["begin.again"], "0")
        self.assertEqual(names(v["events"]).count("DLComplete"), 1)
        with open(self.target("ok.bin"), "rb") as f:
            self.assertEqual(f.read(), self.body)

    def test_unwritable_folder_is_a_save_error(self):
        if os.geteuid() != 0:
            folder = os.path.join(self.out, "locked")
            os.makedirs(folder)
            os.chmod(folder, 0o555)
            wfolder = harness.winpath(folder) + "\\"
        else:
            # Folder permissions do not stop root; the kernel's own tree is read-only for everyone.
            wfolder = "Z:\\sys\\"
        v = self.get(self.base + "/ok.bin", "ok.bin", folder=wfolder)
        self.assert_failed(v, 4)
        self.assertTrue(v["events"][-2].endswith("[%sok.bin]" % wfolder), v["events"])

    def test_missing_folder_is_a_save_error(self):
        wfolder = harness.winpath(os.path.join(self.out, "missing")) + "\\"
        v = self.get(self.base + "/ok.bin", "ok.bin", folder=wfolder)
        self.assert_failed(v, 4)
        self.assertFalse(os.path.exists(os.path.join(self.out, "missing")))

    def test_waiting_start_returns_the_result_after_the_events(self):
        v = self.get(self.base + "/ok.bin", "ok.bin", "wait")
        lines = [l for l in v["lines"] if l.startswith(("event=", "begin="))]
        self.assertEqual(lines[-1], "begin=-1", lines)
        self.assertIn("event=GetHtml", lines[-2])
        v = self.get(self.base + "/__status/404", "nf.bin", "wait")
        lines = [l for l in v["lines"] if l.startswith(("event=", "begin="))]
        self.assertEqual(lines[-1], "begin=0", lines)
        self.assertEqual(lines[-2], "event=DLComplete 0")

    def test_saving_over_a_longer_file_leaves_exactly_the_new_bytes(self):
        with open(self.target("small.txt"), "wb") as f:
            f.write(b"x" * 5000)
        self.get(self.base + "/small.txt", "small.txt")
        with open(self.target("small.txt"), "rb") as f:
            self.assertEqual(f.read(), SMALL_TEXT)

    def test_progress_bar_is_drawn_in_the_fore_colour_up_to_the_percentage(self):
        v = self.get(self.base + "/__slow/big.bin?rate=400000", "big.bin", "red")
        self.assertGreater(float(v["sample.percent"]), 0.05)
        self.assertEqual(v["pixel.inside"], "FF0000")
        self.assertNotEqual(v["pixel.beyond"], "FF0000")
        background = v["pixel.beyond"]
        # After a successful transfer the bar stays drawn across the whole control.
        self.assertEqual((v["pixel.end.left"], v["pixel.end.right"]), ("FF0000", "FF0000"))
        v = self.get(self.base + "/__slow/big.bin?rate=400000&hold=1500000", "big.bin", "red", "cancel")
        self.assertEqual((v["pixel.end.left"], v["pixel.end.right"]), (background, background))
        v = self.get(self.base + "/__status/404", "nf.bin", "red")
        self.assertEqual((v["pixel.end.left"], v["pixel.end.right"]), (background, background))
        v = self.get(self.base + "/__slow/big.bin?rate=400000", "big.bin", "red", "noprogress")
        self.assertEqual(v["pixel.inside"], background)
        self.assertEqual((v["pixel.end.left"], v["pixel.end.right"]), (background, background))

    def test_mouse_events_carry_buttons_and_twips_and_a_double_click_clicks_once(self):
        p = subprocess.Popen(harness.WINE + [self.driver, "mouse", "20"], env=harness.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        lines = []

        def read():
            for raw in p.stdout:
                lines.append(raw.decode("utf-8", errors="replace").strip())

        threading.Thread(target=read, daemon=True).start()
        try:
            harness.wait_until(lambda: "ready=1" in lines, 20, 0.1, "the control")
            harness.xdotool("mousemove", 150, 10)
            harness.wait_until(lambda: any(l.startswith("event=MouseMove") for l in lines), 10, 0.1, "MouseMove")
            harness.xdotool("click", "--repeat", 2, "--delay", 80, 1)
            p.wait(20)
        finally:
            harness.stop(p)
        events = [l[len("event="):] for l in lines if l.startswith("event=") and not l.startswith("event=MouseMove")]
        # Inside the one-pixel border the point is (149, 9): 2235 and 135 twips at 96 dots per inch.
        # The second press of a double click is the Dblclick: its release raises no Click.
        self.assertEqual(events, ["MouseDown 1 0 2235 135", "MouseUp 1 0 2235 135", "Click", "Dblclick",
                                  "MouseUp 1 0 2235 135"])

    def test_interface_defaults_and_rules(self):
        r = harness.run([self.driver, "api"], timeout=60)
        v = parse(r.stdout)
        P, M = 0x68030000, 0x60030000
        expected = {"BackColor": -501, "ForeColor": P + 12, "Enabled": -514, "Font": -512, "BorderStyle": -504,
                    "BytesRead": P + 11, "CacheFile": P + 10, "ConnectionAddress": P + 9, "MIMEType": P + 8,
                    "RedirectFile": P + 7, "Refresh": -550, "FileSize": P + 6, "FileUrl": P + 5,
                    "SaveFileName": P + 4, "SaveFilePath": P + 3, "BeginDownload": M + 25, "CancelDownload": M + 28,
                    "FailOnRedirect": P + 2, "RenameOnRedirect": P + 1, "ShowProgress": P + 0, "SetFileName": M + 31}
        for name, dispid in expected.items():
            self.assertEqual(int(v["id." + name], 16), dispid & 0xFFFFFFFF, name)
        self.assertEqual(v["default.FailOnRedirect"], "-1")
        self.assertEqual(v["default.RenameOnRedirect"], "0")  # stored true, read false while failing
        self.assertEqual(v["default.ShowProgress"], "-1")
        self.assertEqual(v["default.BorderStyle"], "1")
        self.assertEqual(int(v["default.BackColor"]) & 0xFFFFFFFF, 0x8000000F)
        self.assertEqual(int(v["default.ForeColor"]) & 0xFFFFFFFF, 0x80000012)
        self.assertEqual(v["default.Enabled"], "-1")
        self.assertEqual(v["default.Font"], "object")
        self.assertEqual(v["begin.unconfigured"], "0")
        self.assertEqual(v["begin.nofolder"], "0")
        self.assertEqual(v["join.nofolder"], "")
        self.assertEqual(v["join.slash"], "C:\\x\\a.txt")
        self.assertEqual(v["join.noslash"], "C:\\xa.txt")
        self.assertEqual(v["rename.whileFail"], "0")
        self.assertEqual(v["rename.follow"], "-1")
        self.assertEqual(v["rename.off"], "0")
        self.assertNotEqual(int(v["border.invalid.hr"], 16), 0)
        self.assertEqual(int(v["border.none.hr"], 16), 0)
        self.assertNotEqual(int(v["readonly.put.hr"], 16), 0)
        # Only values that differ from their defaults are stored, under their bag names.
        self.assertEqual(sorted(v["bag.keys"].split(",")),
                         sorted(["BorderStyle", "FailOnRedirect", "FileURL", "Font", "RenameOnRedirect", "SaveFilePath"]))
        self.assertEqual(v["bag.FileURL"], "http://127.0.0.1:9/x")
        self.assertEqual(v["bag.SaveFilePath"], "C:\\x")
        self.assertEqual(v["events.raised"], "0")
        # OLE colours with the top bit set (every system colour) put as an unsigned number or a
        # script's double; a number beyond 32 bits is refused as an overflow.
        self.assertEqual((v["color.ui4.hr"], v["color.r8.hr"]), ("0x00000000", "0x00000000"))
        self.assertEqual(int(v["color.ui4.BackColor"]) & 0xFFFFFFFF, 0x80000000)
        self.assertEqual(int(v["color.r8.ForeColor"]) & 0xFFFFFFFF, 0xFFFFFFFF)
        self.assertEqual(v["color.r8.beyond.hr"], "0x8002000a")  # DISP_E_OVERFLOW

    def test_stored_properties_missing_keys_take_their_defaults_and_the_redirect_switches_keep_their_places(self):
        # Loaded from a bag with FailOnRedirect off, an unknown BorderStyle, a system colour kept
        # unsigned and nothing else, saved, and loaded into another control: both switches differ
        # from each other all the way, and the colour is kept.
        v = parse(harness.run([self.driver, "api"], timeout=60).stdout)
        self.assertEqual(v["partial.create.hr"], "0x00000000")
        for control in ("partial", "reloaded"):
            with self.subTest(control=control):
                self.assertEqual(v[control + ".FailOnRedirect"], "0")
                self.assertEqual(v[control + ".RenameOnRedirect"], "-1")
                self.assertEqual(v[control + ".ShowProgress"], "-1")
                self.assertEqual(v[control + ".Enabled"], "-1")
                self.assertEqual(v[control + ".BorderStyle"], "1")
                self.assertEqual(int(v[control + ".BackColor"]) & 0xFFFFFFFF, 0x80000005)
                self.assertEqual(int(v[control + ".ForeColor"]) & 0xFFFFFFFF, 0x80000012)
                self.assertEqual((v[control + ".FileUrl"], v[control + ".SaveFilePath"]), ("", ""))
        self.assertEqual(v["partial.saved.keys"], "BackColor,FailOnRedirect,Font")


if __name__ == "__main__":
    unittest.main()
