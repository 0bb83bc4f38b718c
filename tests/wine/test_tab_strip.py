"""The tab strip under Wine: its look at known points and real mouse clicks on a tab and a close button.

Runs the stand-alone host twtabhost.exe, which shows the strip at the screen's top-left corner with
tabs 0-3 (tab 2 selected) and prints the strip's events and the tabs' screen rectangles.
"""
import os
import subprocess
import queue
import threading
import time
import unittest

import harness

HOME = "Tarnwick 127.0.0.1"
BORDER = (0x9E, 0xC5, 0xF1)
WHITE = (0xFF, 0xFF, 0xFF)
STRIP = (0x23, 0xC3, 0xF7)
CLOSE_GREEN = (0x3C, 0xA8, 0x3C)
ARROW = (0x1C, 0x3A, 0x5A)


class Shot:
    """A screenshot's pixels, read once."""

    def __init__(self, path):
        harness.screenshot(path)
        r = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, timeout=30, check=True)
        data = r.stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maximum
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def __call__(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])


def near(got, want, tol=3):
    return all(abs(a - b) <= tol for a, b in zip(got, want))


class Host:
    """twtabhost.exe with its output read line by line on a thread."""

    def __init__(self, kind):
        self.p = harness.start([os.path.join(harness.BIN, "twtabhost.exe"), "90", kind])
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.p.stdout:
            self.lines.put(raw.decode("utf-8", errors="replace").rstrip("\r\n"))

    def wait_for(self, line, timeout=15.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                got = self.lines.get(timeout=max(0.01, deadline - time.time()))
            except queue.Empty:
                break
            self.seen.append(got)
            if got == line:
                return
        raise AssertionError("no %r within %.0f s; seen %r" % (line, timeout, self.seen[-20:]))

    def drain(self, settle=0.3):
        time.sleep(settle)
        while True:
            try:
                self.seen.append(self.lines.get_nowait())
            except queue.Empty:
                return

    def events(self):
        return [l[len("event="):] for l in self.seen if l.startswith("event=")]

    def geometry(self):
        """The last reported rectangles: {index: (x, y, w, h, selected)}, {index: (x, y, w, h, visible)}."""
        end = max(i for i, l in enumerate(self.seen) if l == "geometry=end")
        start = max((i for i, l in enumerate(self.seen[:end]) if l.startswith("event=") or l == "geometry=end"),
                    default=-1)
        tabs, closes = {}, {}
        for l in self.seen[start + 1:end]:
            key, _, value = l.partition("=")
            if key in ("tab", "close"):
                v = [int(x) for x in value.split(",")]
                (tabs if key == "tab" else closes)[v[0]] = tuple(v[1:])
        return tabs, closes

    def value(self, key):
        for l in reversed(self.seen):
            if l.startswith(key + "="):
                return l[len(key) + 1:]
        return None

    def stop(self):
        harness.stop(self.p)
        for pipe in (self.p.stdout, self.p.stderr):
            if pipe:
                pipe.close()


class TabStripDrawnButtonsTest(unittest.TestCase):
    """The strip with its own stand-in buttons (used where Corvala is not registered)."""

    KIND = "drawn"

    @classmethod
    def setUpClass(cls):
        harness.ensure()

    def setUp(self):
        harness.kill_wine_programs()
        # Keep the pointer away from the strip so no button shows its hover picture.
        harness.xdotool("mousemove", 600, 500)
        self.host = Host(self.KIND)
        self.addCleanup(self.host.stop)
        self.host.wait_for("ready")
        self.host.drain()
        self.assertEqual(self.host.value("buttons"), self.KIND)

    def click(self, x, y):
        harness.xdotool("mousemove", x, y)
        time.sleep(0.2)
        harness.xdotool("click", 1)

    def test_start_up_selects_home_once_and_the_looks_show(self):
        self.host.drain(0.5)
        events = self.host.events()
        self.assertEqual(events[0], "TabChange|%s||0" % HOME)
        self.assertEqual(events.count("TabChange|%s||0" % HOME), 1)
        self.assertEqual(events[1:], ["Click|Alpha||1", "Click|Beta||2", "Click|Gamma 游戏||3"])

        tabs, closes = self.host.geometry()
        self.assertEqual(sorted(tabs), [0, 1, 2, 3])
        self.assertEqual([tabs[i][4] for i in range(4)], [0, 0, 1, 0])
        for i in (1, 2, 3):  # one pixel of overlap
            self.assertEqual(tabs[i][0], tabs[i - 1][0] + tabs[i - 1][2] - 1)

        px = Shot(os.path.join(harness.BUILD, "tab_strip.png"))
        x2, y2 = tabs[2][0], tabs[2][1]
        x1, y1 = tabs[1][0], tabs[1][1]
        self.assertEqual(px(x2 + 2, y2 + 12), WHITE)           # selected: white
        self.assertEqual(px(x2 + 4, y2), BORDER)               # top border
        normal = px(x1 + 2, y1 + 12)                           # normal: light blue gradient
        self.assertTrue(0xD0 <= normal[0] <= 0xE9 and 0xEC <= normal[1] <= 0xFA and normal[2] == 0xFF, normal)
        self.assertLess(px(x1 + 2, y1 + 23)[0], px(x1 + 2, y1 + 2)[0])  # darker towards the bottom
        self.assertEqual(px(tabs[0][0], tabs[0][1] + 10), BORDER)      # left border of tab 0
        last = tabs[3]
        self.assertEqual(px(last[0] + last[2] + 20, last[1] + 10), STRIP)
        cx, cy = closes[1][0], closes[1][1]
        self.assertTrue(near(px(cx + 1, cy + 5), CLOSE_GREEN), px(cx + 1, cy + 5))
        self.assertEqual(px(cx + 5, cy + 5), WHITE)
        self.assertEqual(closes[0][4], 0)  # tab 0 has no close button
        self.assertFalse(near(px(closes[0][0] + 1, closes[0][1] + 5), CLOSE_GREEN))
        ctl_x, ctl_y = (int(v) for v in self.host.value("ctl").split(","))
        self.assertEqual(px(ctl_x, ctl_y), STRIP)
        self.assertEqual(px(ctl_x + 4, ctl_y + 7), ARROW)      # left arrow's tip
        self.assertEqual(px(ctl_x + 16 + 11, ctl_y + 7), ARROW)  # right arrow's tip

    def test_click_on_a_tab_body_selects_it(self):
        tabs, _ = self.host.geometry()
        before = len(self.host.events())
        self.click(tabs[1][0] + 8, tabs[1][1] + 12)
        self.host.wait_for("event=TabChange|Alpha||1")
        self.host.drain()
        self.assertEqual(self.host.events()[before:], ["TabChange|Alpha||1"])
        tabs, _ = self.host.geometry()
        self.assertEqual([tabs[i][4] for i in range(4)], [0, 1, 0, 0])
        harness.xdotool("mousemove", 600, 500)
        time.sleep(0.3)
        px = Shot(os.path.join(harness.BUILD, "tab_strip_clicked.png"))
        self.assertEqual(px(tabs[1][0] + 2, tabs[1][1] + 12), WHITE)
        self.assertNotEqual(px(tabs[2][0] + 2, tabs[2][1] + 12), WHITE)

    def test_click_on_a_close_button_closes_that_tab_only(self):
        tabs, closes = self.host.geometry()
        before = len(self.host.events())
        x, y, w, h, visible = closes[2]
        self.assertEqual(visible, 1)
        self.click(x + w // 2, y + h // 2)
        self.host.wait_for("event=UnloadClick|2")
        self.host.drain()
        self.assertEqual(self.host.events()[before:], ["TabChange|%s||0" % HOME, "UnloadClick|2"])
        after, _ = self.host.geometry()
        self.assertEqual(sorted(after), [0, 1, 3])
        self.assertEqual(after[3][0], tabs[2][0])  # tab 3 closed the gap
        self.assertEqual([after[i][4] for i in (0, 1, 3)], [1, 0, 0])


class TabStripCmdButtonsTest(TabStripDrawnButtonsTest):
    """The strip as the shell runs it: close buttons and arrows are Corvala.Cmd_ controls."""

    KIND = "cmd"

    @classmethod
    def setUpClass(cls):
        harness.ensure()
        dll = os.path.join(harness.BIN, "Corvala.dll")
        if not os.path.exists(dll):
            raise unittest.SkipTest("Corvala.dll is not built")
        harness.run(["regsvr32", "/s", harness.winpath(dll)], timeout=60, check=True)


if __name__ == "__main__":
    unittest.main()
