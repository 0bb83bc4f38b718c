"""The tab strip under Wine: its look at known points and real mouse clicks on a tab and a close button.

Runs the stand-alone host twtabhost.exe, which shows the strip at the screen's top-left corner with
tabs 0-3 (tab 2 selected) and prints the strip's events and the tabs' screen rectangles.
"""
import os
import subprocess
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


def shot_when(path, ready, what):
    """A screenshot taken once `ready(pixels)` holds on it: the painting the test looks at is done."""
    return harness.wait_until(lambda: (lambda px: px if ready(px) else None)(Shot(path)), 10, 0.3, what)


class Host:
    """twtabhost.exe writing its lines to a file, read as they come."""

    def __init__(self, kind, mode):
        self.path = os.path.join(harness.BUILD, "twtabhost-%s-%s.txt" % (kind, mode))
        if os.path.exists(self.path):
            os.remove(self.path)
        self.p = harness.start([os.path.join(harness.BIN, "twtabhost.exe"), "90", kind, mode,
                                harness.winpath(self.path)])
        self.pending = b""
        self.read_to = 0
        self.seen = []
        self.taken = 0

    def _poll(self):
        """Appends the complete lines written since the last call to `seen`."""
        if not os.path.exists(self.path):
            return
        with open(self.path, "rb") as f:
            f.seek(self.read_to)
            data = f.read()
        self.read_to += len(data)
        self.pending += data
        *lines, self.pending = self.pending.split(b"\n")
        self.seen.extend(l.decode("utf-8", errors="replace").rstrip("\r") for l in lines)

    def wait_for(self, line, timeout=15.0):
        """Waits for `line` among the lines not yet looked at."""
        deadline = time.time() + timeout
        while True:
            self._poll()
            while self.taken < len(self.seen):
                self.taken += 1
                if self.seen[self.taken - 1] == line:
                    return
            if time.time() > deadline:
                raise AssertionError("no %r within %.0f s; seen %r" % (line, timeout, self.seen[-20:]))
            time.sleep(0.05)

    def drain(self, settle=0.3):
        time.sleep(settle)
        self._poll()
        self.taken = len(self.seen)

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


def register_corvala():
    dll = os.path.join(harness.BIN, "Corvala.dll")
    if not os.path.exists(dll):
        raise unittest.SkipTest("Corvala.dll is not built")
    harness.run(["regsvr32", "/s", harness.winpath(dll)], timeout=60, check=True)


class StripHostCase(unittest.TestCase):
    """Runs the host for each test; KIND picks the buttons, MODE the number of tabs."""

    KIND = "drawn"
    MODE = "few"

    @classmethod
    def setUpClass(cls):
        harness.ensure()
        if cls.KIND == "cmd":
            register_corvala()

    def setUp(self):
        harness.kill_wine_programs()
        # Keep the pointer away from the strip so no button shows its hover picture.
        harness.xdotool("mousemove", 600, 500)
        self.host = Host(self.KIND, self.MODE)
        self.addCleanup(self.host.stop)
        self.host.wait_for("ready")
        self.host.drain()
        self.assertEqual(self.host.value("buttons"), self.KIND)

    def click(self, x, y):
        harness.xdotool("mousemove", x, y)
        time.sleep(0.2)
        harness.xdotool("click", 1)
        # Two clicks at one place within the double-click time make a double click, which the
        # image button reports as Dblclick rather than a second Click.
        time.sleep(0.6)



class FewTabsTests:
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

        x2, y2 = tabs[2][0], tabs[2][1]
        x1, y1 = tabs[1][0], tabs[1][1]
        cx, cy = closes[1][0], closes[1][1]
        px = shot_when(os.path.join(harness.BUILD, "tab_strip.png"),
                       lambda px: px(x2 + 2, y2 + 12) == WHITE and near(px(cx + 1, cy + 5), CLOSE_GREEN),
                       "the selected tab and a close button drawn")
        self.assertEqual(px(x2 + 2, y2 + 12), WHITE)           # selected: white
        self.assertEqual(px(x2 + 4, y2), BORDER)               # top border
        normal = px(x1 + 2, y1 + 12)                           # normal: light blue gradient
        self.assertTrue(0xD0 <= normal[0] <= 0xE9 and 0xEC <= normal[1] <= 0xFA and normal[2] == 0xFF, normal)
        self.assertLess(px(x1 + 2, y1 + 23)[0], px(x1 + 2, y1 + 2)[0])  # darker towards the bottom
        self.assertEqual(px(tabs[0][0], tabs[0][1] + 10), BORDER)      # left border of tab 0
        last = tabs[3]
        self.assertEqual(px(last[0] + last[2] + 20, last[1] + 10), STRIP)
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
        px = shot_when(os.path.join(harness.BUILD, "tab_strip_clicked.png"),
                       lambda px: px(tabs[1][0] + 2, tabs[1][1] + 12) == WHITE, "tab 1 drawn selected")
        self.assertEqual(px(tabs[1][0] + 2, tabs[1][1] + 12), WHITE)
        self.assertNotEqual(px(tabs[2][0] + 2, tabs[2][1] + 12), WHITE)

    def test_double_click_on_a_tab_body_is_one_tab_click(self):
        tabs, _ = self.host.geometry()
        before = len(self.host.events())
        harness.xdotool("mousemove", tabs[3][0] + 8, tabs[3][1] + 12)
        time.sleep(0.2)
        harness.xdotool("click", "--repeat", 2, "--delay", 80, 1)
        self.host.wait_for("event=TabChange|Gamma 游戏||3")
        self.host.drain(0.8)
        self.assertEqual(self.host.events()[before:], ["TabChange|Gamma 游戏||3"])

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


class TabStripDrawnButtonsTest(FewTabsTests, StripHostCase):
    """The strip with its own stand-in buttons (used where Corvala is not registered)."""

    KIND = "drawn"


class TabStripCmdButtonsTest(FewTabsTests, StripHostCase):
    """The strip as the shell runs it: close buttons and arrows are Corvala.Cmd_ controls."""

    KIND = "cmd"


class TabStripArrowsTest(StripHostCase):
    """Fifteen tabs, more than the viewport shows: the arrows slide them by 1000 twips."""

    KIND = "cmd"
    MODE = "many"

    def offset(self):
        return int(self.host.value("offset"))

    def test_arrows_slide_the_strip_and_clicks_follow_the_tabs(self):
        ctl_x, ctl_y = (int(v) for v in self.host.value("ctl").split(","))
        start = self.offset()
        self.assertLessEqual(start, 0)
        # Left arrow: the tabs together are wider than the viewport, so every click slides.
        for n in (1, 2):
            self.click(ctl_x + 8, ctl_y + 7)
            self.host.wait_for("offset=%d" % (start - 1000 * n))
        self.host.drain()
        tabs, _ = self.host.geometry()
        self.assertEqual(tabs[0][0], round((start - 2000) / 15))
        # Right arrow: back by one step.
        self.click(ctl_x + 16 + 8, ctl_y + 7)
        self.host.wait_for("offset=%d" % (start - 1000))
        self.host.drain()
        # A click lands on the tab now under the pointer.
        tabs, _ = self.host.geometry()
        visible = [i for i in sorted(tabs) if 10 <= tabs[i][0] and tabs[i][0] + tabs[i][2] < ctl_x - 10]
        self.assertTrue(visible, tabs)
        target = visible[len(visible) // 2]
        before = len(self.host.events())
        self.click(tabs[target][0] + 8, tabs[target][1] + 12)
        self.host.wait_for("event=TabChange|Tab %d||%d" % (target, target) if target > 3 else
                           "event=TabChange|" + ["", "Alpha", "Beta", "Gamma 游戏"][target] + "||%d" % target)
        self.assertEqual(len(self.host.events()), before + 1)
        # Right arrow back to where an offset above -1000 stops it.
        while self.offset() + 1000 <= 0:
            o = self.offset()
            self.click(ctl_x + 16 + 8, ctl_y + 7)
            self.host.wait_for("offset=%d" % (o + 1000))
        o = self.offset()
        self.click(ctl_x + 16 + 8, ctl_y + 7)
        self.host.drain(0.5)
        self.assertEqual(self.offset(), o)


def rect_of(record):
    return tuple(int(v) for v in record["rect"].split(","))


class ShellTabStripTest(unittest.TestCase):
    """The strip in the running shell: the home tab alone, selected, with its caption and no close button."""

    def setUp(self):
        from test_shell import Shell
        self.shell = Shell("tab_strip_shell")
        self.addCleanup(harness.kill_wine_programs)
        self.addCleanup(self.shell.close)

    def test_home_tab_look_in_the_shell(self):
        children = harness.probe("children", self.shell.main["hwnd"])
        strips = [c for c in children if c["class"] == "TwLintraTab"]
        self.assertEqual(len(strips), 1)
        sx0, sy0, sx1, sy1 = rect_of(strips[0])
        tabs = [c for c in children if c["class"] == "TwTabBtn"]
        self.assertEqual(len(tabs), 1)
        tx0, ty0, tx1, ty1 = rect_of(tabs[0])
        # The start timer's selection, painted: the home tab shows the selected look.
        px = shot_when(os.path.join(harness.BUILD, "tab_strip_shell.png"),
                       lambda px: px(tx0 + 2, ty0 + 12) == WHITE, "the home tab drawn selected")
        children = harness.probe("children", self.shell.main["hwnd"])
        self.assertEqual((tx0, ty0), (sx0, sy0))
        self.assertEqual(ty1 - ty0, 25)
        # Its close button exists but is hidden.
        inside = [c for c in children if c["class"] in ("TwAxHost", "TwStripButton", "CorvalaCmdWindow")
                  and tx0 <= rect_of(c)[0] < tx1 and ty0 <= rect_of(c)[1] < ty1]
        self.assertTrue(inside)
        self.assertTrue(all(c["visible"] == "0" for c in inside), inside)
        # CtlPanel: the panel that is not at the strip's left edge.
        panels = [rect_of(c) for c in children if c["class"] == "TwTabPanel"]
        ctl = [p for p in panels if p[0] != sx0]
        self.assertEqual(len(ctl), 1)

        self.assertEqual(px(tx0 + 2, ty0 + 12), WHITE)       # selected look
        # (The left border column lies under the main window's HideBar, which overlaps the strip by
        # one pixel; the driver tests check it.)
        self.assertEqual(px(tx0 + 5, ty0), BORDER)           # top border
        self.assertEqual(px(tx1 - 1, ty0 + 10), BORDER)      # right border
        self.assertEqual(px(tx1 + 20, ty0 + 10), STRIP)      # the sliding strip beyond the tab
        row = [px(x, (ty0 + ty1) // 2) for x in range(tx0 + 3, tx1 - 3)]
        self.assertTrue(any(max(c) < 128 for c in row), "the caption is drawn")
        # The caption is centred: as much white margin on the left as on the right, within a pixel.
        dark = [i for i, c in enumerate(row) if max(c) < 200]
        self.assertLessEqual(abs(dark[0] - (len(row) - 1 - dark[-1])), 2)
        cx, cy = ctl[0][0], ctl[0][1]
        self.assertEqual(px(cx + 4, cy + 7), ARROW)          # left arrow's tip
        self.assertEqual(px(cx + 16 + 11, cy + 7), ARROW)    # right arrow's tip
        self.assertEqual(px(cx + 1, cy + 1), STRIP)


if __name__ == "__main__":
    unittest.main()
