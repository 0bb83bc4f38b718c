"""The shell's main window under Wine: caption, colour-key transparency, centring, tray icon and
menu, the boss key, the status-bar links, and a clean shut-down."""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CAPTION = "欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界"
TRAY_MESSAGE = 0x8001  # WM_APP + 1, the tray icon's callback message
WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_LBUTTONUP = 0x203, 0x205, 0x202
MOD_CONTROL, VK_B = 2, 66


def rect(r):
    return tuple(int(v) for v in r["rect"].split(","))


class Shell:
    """One running Tarnwick.exe in a fresh installation folder."""

    def __init__(self, name, prepare=None):
        h.ensure()
        h.kill_wine_programs()
        h.clear_opened_log()
        self.folder = h.install_copy(name)
        if prepare:
            prepare(self.folder)
        self.proc = h.start([os.path.join(self.folder, "Tarnwick.exe")])
        self.main = h.wait_until(lambda: self.find(visible=True), 30, what="the main window")

    def find(self, visible=None):
        recs = h.probe("find", CAPTION, "TarnwickMain")
        if visible is not None:
            recs = [r for r in recs if (r["visible"] == "1") == visible]
        return recs[0] if recs else None

    def info(self):
        recs = h.probe("info", self.main["hwnd"])
        return recs[0] if recs else None

    def visible(self):
        i = self.info()
        return bool(i) and i["visible"] == "1"

    def tray(self):
        return h.probe("tray", self.main["hwnd"], 1)[0]["present"] == "1"

    def post(self, msg, wp, lp):
        h.probe("post", self.main["hwnd"], msg, wp, lp)

    def label(self, text):
        for r in h.probe("children", self.main["hwnd"]):
            if r["class"].lower() == "static" and r["text"] == text:
                return r
        raise AssertionError("no label %r" % text)

    def click(self, r):
        x0, y0, x1, y1 = rect(r)
        h.xdotool("mousemove", "--sync", (x0 + x1) // 2, (y0 + y1) // 2)
        h.xdotool("click", "1")

    def exited(self, timeout=15):
        h.wait_until(lambda: self.proc.poll() is not None, timeout, what="the shell to exit")
        return True

    def close(self):
        if self.proc.poll() is None:
            h.probe("post", self.main["hwnd"], 0x0010, 0, 0)  # WM_CLOSE
            try:
                self.exited(15)
            except AssertionError:
                h.stop(self.proc)


def press_boss_key(shell):
    # The key press reaches the hot key while some window of the prefix has the X focus.
    ids = h.xdotool("search", "--onlyvisible", "--name", "Tarnwick|Wine System Tray").stdout.split()
    if ids:
        h.xdotool("windowfocus", "--sync", ids[0].decode())
    h.xdotool("key", "--clearmodifiers", "ctrl+b")


class ShellWindowTest(unittest.TestCase):
    def setUp(self):
        self.shell = Shell("shell_window")

    def tearDown(self):
        self.shell.close()
        h.kill_wine_programs()

    def test_caption_layered_colour_key_and_centred(self):
        m = self.shell.main
        self.assertEqual(m["text"], CAPTION)
        self.assertTrue(int(m["exstyle"], 16) & 0x80000, "WS_EX_LAYERED")
        self.assertEqual(m["colorkey"], "0xff00ff")
        self.assertEqual(m["layered_flags"], "1")  # LWA_COLORKEY only
        screen = h.probe("screen")[0]
        x0, y0, x1, y1 = rect(m)
        w, hgt = x1 - x0, y1 - y0
        self.assertEqual(x0, int(screen["width"]) // 2 - w // 2)
        self.assertEqual(y0, int(screen["height"]) // 2 - hgt // 2)

    def test_skinned_frame_is_drawn_and_its_corners_are_see_through(self):
        x0, y0, x1, y1 = rect(self.shell.main)
        path = os.path.join(h.BUILD, "shell-frame.png")
        # Once the caption shows the skin's colour the frame has been painted.
        shot = h.wait_until(lambda: h.pixel(h.screenshot(path), (x0 + x1) // 2 - 200, y0 + 8) == (0x1F, 0xA8, 0xDD)
                            and path, 10, 0.3, "the caption colour of the skin")
        # The corner is magenta in the window and so shows the black root window behind it.
        self.assertEqual(h.pixel(shot, x0, y0), (0, 0, 0))
        self.assertEqual(h.pixel(shot, x1 - 1, y0), (0, 0, 0))
        self.assertNotIn((255, 0, 255), [h.pixel(shot, x0 + dx, y0 + dy) for dx in range(3) for dy in range(3)])

    def test_tray_icon_and_boss_key_toggle_window_and_icon_independently(self):
        s = self.shell
        self.assertTrue(s.tray())
        self.assertEqual(h.probe("hotkey", MOD_CONTROL, VK_B)[0]["ok"], "0", "Ctrl+B is taken while the shell runs")
        press_boss_key(s)
        h.wait_until(lambda: not s.visible(), 5, what="the window to hide")
        self.assertFalse(s.tray())
        press_boss_key(s)
        h.wait_until(s.visible, 5, what="the window to come back")
        self.assertTrue(s.tray())
        # Hidden another way first (tray double-click): the boss key shows the window and removes the icon.
        s.post(TRAY_MESSAGE, 1, WM_LBUTTONDBLCLK)
        h.wait_until(lambda: not s.visible(), 5, what="the double-click to hide the window")
        self.assertTrue(s.tray())
        press_boss_key(s)
        h.wait_until(s.visible, 5, what="the boss key to show the window")
        self.assertFalse(s.tray())
        press_boss_key(s)
        h.wait_until(lambda: not s.visible(), 5, what="the boss key to hide the window")
        self.assertTrue(s.tray())
        # A left single click does nothing: sent, it has been handled when the call returns.
        self.assertEqual(h.probe("send", s.main["hwnd"], TRAY_MESSAGE, 1, WM_LBUTTONUP)[0]["ok"], "1")
        self.assertFalse(s.visible())
        s.post(TRAY_MESSAGE, 1, WM_LBUTTONDBLCLK)
        h.wait_until(s.visible, 5, what="the double-click to show the window")

    def test_tray_menu_opens_on_the_right_button_and_each_item_acts(self):
        s = self.shell

        def choose(item):
            s.post(TRAY_MESSAGE, 1, WM_RBUTTONUP)
            menu = h.wait_until(lambda: h.probe("find", "*", "#32768") and
                                [r for r in h.probe("find", "*", "#32768") if r["visible"] == "1"], 5,
                                what="the tray menu")[0]
            x0, y0, x1, y1 = rect(menu)
            row = (y1 - y0) // 3  # three items of equal height
            h.xdotool("mousemove", "--sync", (x0 + x1) // 2, y0 + row * item + row // 2)
            h.xdotool("click", "1")

        choose(0)  # 最大化
        h.wait_until(lambda: s.info()["zoomed"] == "1", 5, what="maximised")
        choose(1)  # 最小化
        h.wait_until(lambda: s.info()["iconic"] == "1", 5, what="minimised")
        choose(2)  # 关闭程序
        self.assertTrue(s.exited())

    def test_status_bar_links_open_through_the_system_shell(self):
        s = self.shell
        s.click(s.label("软件官方网站"))
        h.wait_until(lambda: any(l.endswith("\t%s/home.htm" % h.PORTAL) for l in h.opened_log()), 10,
                     what="the home page to be opened")
        s.click(s.label("提提意见"))
        h.wait_until(lambda: any(l.endswith("\t%s/forum.htm" % h.PORTAL) for l in h.opened_log()), 10,
                     what="the forum to be opened")
        self.assertIsNone(s.proc.poll(), "the shell stays open for the web links")


def set_dpi(dpi):
    """The prefix's screen resolution for programs started from now on; None restores the default."""
    key = "HKCU\\Control Panel\\Desktop"
    if dpi is None:
        h.run(["reg", "delete", key, "/v", "LogPixels", "/f"])
    else:
        h.run(["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"], check=True)


def colour_runs(shot, box, colour):
    """Within `box` (x0, y0, x1, y1) of a screenshot: the runs of columns holding `colour`, and for
    each run the rows holding it, as [((left, right), (top, bottom))], all inclusive."""
    x0, y0, x1, y1 = box
    w, hgt = x1 - x0, y1 - y0
    ppm = subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, hgt, x0, y0), "+repage", "ppm:-"],
                         stdout=subprocess.PIPE, check=True, timeout=30).stdout
    data = ppm[len(ppm) - w * hgt * 3:]
    hit = [[data[3 * (y * w + x):3 * (y * w + x) + 3] == bytes(colour) for x in range(w)] for y in range(hgt)]
    runs, x = [], 0
    while x < w:
        if any(hit[y][x] for y in range(hgt)):
            start = x
            while x < w and any(hit[y][x] for y in range(hgt)):
                x += 1
            rows = [y for y in range(hgt) if any(hit[y][start:x])]
            runs.append(((x0 + start, x0 + x - 1), (y0 + rows[0], y0 + rows[-1])))
        x += 1
    return runs


class HighResolutionTest(unittest.TestCase):
    """The shell at 100%, 150% and 200%: the window in the work area, its children in the window,
    the skin's frame buttons no smaller than the platform's."""

    def tearDown(self):
        set_dpi(None)
        h.kill_wine_programs()

    def test_window_fits_the_work_area_at_every_resolution(self):
        for dpi in (96, 144, 192):
            with self.subTest(dpi=dpi):
                set_dpi(dpi)
                shell = Shell("shell_dpi%d" % dpi)
                try:
                    screen = h.probe("screen")[0]
                    self.assertEqual(screen["dpi"], str(dpi))
                    wx0, wy0, wx1, wy1 = (int(v) for v in screen["work"].split(","))
                    x0, y0, x1, y1 = rect(shell.main)
                    self.assertTrue(wx0 <= x0 and wy0 <= y0 and x1 <= wx1 and y1 <= wy1, (rect(shell.main), screen))
                    # Centred in the work area.
                    self.assertLessEqual(abs((x0 + x1) - (wx0 + wx1)), 1)
                    self.assertLessEqual(abs((y0 + y1) - (wy0 + wy1)), 1)
                    # The design size where it fits: 12855 x 7740 twips of client area.
                    cx0, cy0, cx1, cy1 = (int(v) for v in shell.info()["client"].split(","))
                    if dpi == 96:
                        self.assertEqual((cx1 - cx0, cy1 - cy0), (857, 516))
                    # Where the design does not fit at the screen's scale, it is drawn whole at a
                    # smaller one: the client area is the design's at some scale up to the screen's.
                    scales = [d for d in range(96, dpi + 1)
                              if (cx1 - cx0, cy1 - cy0) == ((12855 * d + 720) // 1440, (7740 * d + 720) // 1440)]
                    self.assertTrue(scales, (cx1 - cx0, cy1 - cy0))
                    # Every control of the toolbar and the status bar shows whole inside it.
                    kids = h.probe("children", shell.main["hwnd"])
                    bars = {shell.label("老板键:CTRL+B")["parent"], shell.label("检查更新")["parent"]}
                    placed = [c for c in kids if c["parent"] in bars and c["visible"] == "1"]
                    self.assertEqual(len(placed), 14, [(c["class"], c["text"]) for c in placed])
                    for c in placed:
                        l, t, r, b = rect(c)
                        self.assertTrue(cx0 <= l and cy0 <= t and r <= cx1 and b <= cy1,
                                        (c["class"], c["text"], rect(c), (cx0, cy0, cx1, cy1)))
                    for child in h.probe("children", shell.main["hwnd"]):
                        if child["parent"] == shell.main["hwnd"] and child["visible"] == "1":
                            # Each starts inside the window; the design lets the content area and
                            # the status bar run on past the window's edges, which clip them.
                            l, t, _, _ = rect(child)
                            self.assertTrue(x0 <= l < x1 and y0 <= t < y1, (child["class"], rect(child)))
                    # The frame buttons: light squares in the caption band, right to left, once painted.
                    path = os.path.join(h.BUILD, "shell-%ddpi.png" % dpi)
                    buttons = h.wait_until(
                        lambda: (lambda runs: runs if len(runs) == 3 else None)(
                            colour_runs(h.screenshot(path), (max(x0, x1 - 250), y0, x1, cy0), (0xC4, 0xE8, 0xFC))),
                        10, 0.3, "three frame buttons drawn")
                    # No smaller than the platform's at the window's scale (the screen's, or the
                    # smaller one the design fits at).
                    least = int(screen["caption_button"]) * max(scales) // dpi
                    for (left, right), (top, bottom) in buttons:
                        self.assertGreaterEqual(right - left + 1, least)
                        self.assertGreaterEqual(bottom - top + 1, least)
                        self.assertLessEqual(bottom, cy0)
                finally:
                    shell.close()


class ShellLifecycleTest(unittest.TestCase):
    def tearDown(self):
        h.kill_wine_programs()

    def test_check_for_updates_starts_the_updater_and_closes_the_shell(self):
        # The updater is stood in for by the test opener, which records that it was started.
        def updater(folder):
            shutil.copy(os.path.join(h.BIN, "twopen.exe"), os.path.join(folder, "Feltram.exe"))
        s = Shell("shell_updater", updater)
        s.click(s.label("检查更新"))
        self.assertTrue(s.exited())
        h.wait_until(lambda: any(l.startswith("Feltram.exe\t") for l in h.opened_log()), 10,
                     what="the updater to be started")

    def test_shut_down_frees_the_boss_key_and_removes_icon_and_command_window(self):
        s = Shell("shell_exit")
        self.assertTrue(h.probe("find", "FrmQorMess", "*"))
        s.close()
        self.assertTrue(s.exited())
        self.assertEqual(h.probe("hotkey", MOD_CONTROL, VK_B)[0]["ok"], "1")
        self.assertFalse(h.probe("find", "FrmQorMess", "*"))
        tray = h.probe("find", "Wine System Tray", "*")
        self.assertTrue(not tray or tray[0]["visible"] == "0", "no icon is left in the tray")

    def test_session_end_frees_the_boss_key_and_removes_the_command_window(self):
        s = Shell("shell_session_end")
        self.assertEqual(h.probe("send", s.main["hwnd"], 0x0011, 0, 0)[0]["result"], "1")  # WM_QUERYENDSESSION
        h.probe("send", s.main["hwnd"], 0x0016, 1, 0)  # WM_ENDSESSION, the session ends
        self.assertEqual(h.probe("hotkey", MOD_CONTROL, VK_B)[0]["ok"], "1")
        self.assertFalse(h.probe("find", "FrmQorMess", "*"))
        s.close()  # the shut-down that already ran does not run again
        self.assertTrue(s.exited())

    def test_missing_skin_and_left_page_and_no_portal_still_start(self):
        def strip(folder):
            os.remove(os.path.join(folder, "data", "system", "Vrindle.skn"))
            os.remove(os.path.join(folder, "data", "leftview", "leftbak.html"))
        s = Shell("shell_bare", strip)
        m = s.main
        self.assertEqual(m["text"], CAPTION)
        self.assertTrue(int(m["style"], 16) & 0x00C00000, "the plain frame keeps its caption")
        self.assertTrue(s.tray())
        s.close()
        self.assertTrue(s.exited())

    def test_bad_skin_file_gives_the_plain_frame(self):
        def bad(folder):
            with open(os.path.join(folder, "data", "system", "Vrindle.skn"), "wb") as f:
                f.write(b"\x89PNG\r\n\x1a\n\x00\x00garbage")
        s = Shell("shell_badskin", bad)
        self.assertTrue(int(s.main["style"], 16) & 0x00C00000)
        s.close()


if __name__ == "__main__":
    unittest.main()
