"""The volume widgets under Wine, on the mixer that the ALSA null device gives.

test_mixer runs twvolume.exe's checks of Vol2 on the real winmm mixer and of the slider wired to it
(the driver prints one line per check). test_drag shows the slider, drags its knob with the real
mouse and checks on screenshots that the knob moved and the mixer followed. test_shell_slider does
the same in the real shell, whose slider starts at the saved volume 23 and moves to the device's
volume on the first poll (the null device starts every process at full volume).
"""
import os
import subprocess
import time
import unittest

import harness

DRIVER = os.path.join(harness.BIN, "twvolume.exe")
KNOB_FACE = (255, 214, 90)
BACKGROUND = (35, 195, 247)
TWIPS_PER_PIXEL = 15


def near(got, want, tol=3):
    return all(abs(a - b) <= tol for a, b in zip(got, want))


class Shot:
    """A screenshot's pixels, read once."""

    def __init__(self, path):
        harness.screenshot(path)
        r = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, timeout=30, check=True)
        data = r.stdout
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        self.width = int(fields[1])
        self.pixels = data[pos + 1:]

    def __call__(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])


class Show:
    """twvolume.exe show, its lines read from the log file it writes."""

    def __init__(self, seconds=60):
        self.log = os.path.join(harness.BUILD, "volume-show.log")
        if os.path.exists(self.log):
            os.remove(self.log)
        self.p = harness.start([DRIVER, "show", str(seconds), harness.winpath(self.log)])
        self.seen = []

    def _read(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                self.seen = [l.rstrip("\r\n") for l in f if l.endswith("\n")]
        except OSError:
            pass

    def wait_for(self, pred, timeout=15.0, what="line"):
        def found():
            self._read()
            return next((l for l in self.seen if pred(l)), None)
        try:
            return harness.wait_until(found, timeout=timeout, what=what)
        except AssertionError as e:
            raise AssertionError("%s; seen %r" % (e, self.seen[-20:]))

    def last(self, prefix):
        self._read()
        values = [l[len(prefix):] for l in self.seen if l.startswith(prefix)]
        return values[-1] if values else None

    def close(self):
        harness.stop(self.p)


class VolumeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.ensure()

    def test_mixer(self):
        r = harness.run([DRIVER, "mixer"], timeout=90)
        out = r.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
        failed = [l for l in out.split("\n") if l.startswith("check=") and not l.endswith(" ok")]
        self.assertEqual(failed, [], out)
        self.assertIn("result=pass", out)
        self.assertIn("check=outside-change-within-a-few-ticks ok", out)
        self.assertEqual(r.returncode, 0, out)

    def test_drag(self):
        show = Show()
        try:
            origin = show.wait_for(lambda l: l.startswith("slider_screen="), what="slider position")
            ox, oy = (int(v) for v in origin.split("=", 1)[1].split(","))
            show.wait_for(lambda l: l == "knob=260", what="knob at the left end")

            def knob_x(twips):
                return ox + round(twips / TWIPS_PER_PIXEL)

            def drawn_at_last_knob(name):
                """(knob's left, screenshot) once the screen shows the knob where it was last placed."""
                left = int(show.last("knob="))
                shot = Shot(os.path.join(harness.BUILD, name))
                return (left, shot) if near(shot(knob_x(left) + 3, oy + 7), KNOB_FACE) else None

            _, before = harness.wait_until(lambda: drawn_at_last_knob("volume-before.png"), timeout=10, interval=0.3,
                                           what="the knob drawn at the left end")
            self.assertTrue(near(before(knob_x(260) + 3, oy + 7), KNOB_FACE), before(knob_x(260) + 3, oy + 7))
            self.assertTrue(near(before(ox + 140, oy + 1), BACKGROUND), before(ox + 140, oy + 1))

            # Press on the knob's centre, drag right, release.
            harness.xdotool("mousemove", "--sync", knob_x(260) + 6, oy + 7)
            harness.xdotool("mousedown", "1")
            for x in (40, 55, 63):
                harness.xdotool("mousemove", "--sync", ox + x, oy + 7)
                time.sleep(0.1)
            harness.xdotool("mouseup", "1")
            show.wait_for(lambda l: l.startswith("volchange="), what="VolChange")
            harness.wait_until(lambda: show.last("knob=") not in (None, "260"), timeout=5, what="knob moved")
            left, after = harness.wait_until(lambda: drawn_at_last_knob("volume-after.png"), timeout=10, interval=0.3,
                                             what="the knob drawn where the drag left it")
            volume = int(show.last("volchange="))
            self.assertGreater(left, 600)
            self.assertTrue(30 <= volume <= 50, volume)

            self.assertTrue(near(after(knob_x(left) + 3, oy + 7), KNOB_FACE), after(knob_x(left) + 3, oy + 7))
            self.assertFalse(near(after(knob_x(260) + 3, oy + 7), KNOB_FACE))
        finally:
            show.close()
            harness.kill_wine_programs()

    def test_shell_slider(self):
        folder = harness.install_copy("volume-shell")
        shell = harness.start([os.path.join(folder, "Tarnwick.exe")], cwd=folder)
        try:
            def slider():
                main = harness.probe("find", "*", "TarnwickMain")
                if not main:
                    return None
                kids = harness.probe("children", main[0]["hwnd"])
                return next((k for k in kids if k.get("class") == "TarnwickVolSlider"), None)

            rec = harness.wait_until(slider, timeout=30, what="the shell's volume slider")
            left, top = (int(v) for v in rec["rect"].split(",")[:2])
            row = top + 7

            def knob_left(shot):
                for x in range(left, left + 153):
                    if near(shot(x, row), KNOB_FACE):
                        return x - 2 - left  # the face starts two pixels into the knob
                return None

            full = round(1760 / TWIPS_PER_PIXEL)
            shot = harness.wait_until(
                lambda: (lambda s: s if knob_left(s) == full else None)(
                    Shot(os.path.join(harness.BUILD, "volume-shell.png"))),
                timeout=10, interval=0.3, what="the knob at the device's volume")
            self.assertEqual(knob_left(shot), full)

            harness.xdotool("mousemove", "--sync", left + full + 6, row)
            harness.xdotool("mousedown", "1")
            for x in (100, 80, 60):
                harness.xdotool("mousemove", "--sync", left + x, row)
                time.sleep(0.1)
            harness.xdotool("mouseup", "1")
            # The pointer at pixel 60 puts the knob's left edge at 60 x 15 - 97.5 twips.
            want = round((60 * TWIPS_PER_PIXEL - 97.5) / TWIPS_PER_PIXEL)
            moved = harness.wait_until(
                lambda: (lambda k: k if k is not None and abs(k - want) <= 1 else None)(
                    knob_left(Shot(os.path.join(harness.BUILD, "volume-shell-dragged.png")))),
                timeout=10, interval=0.3, what="the dragged knob")
            self.assertLessEqual(abs(moved - want), 1)
            # The mixer took the dragged volume: the next polls leave the knob where it is.
            time.sleep(0.5)
            self.assertLessEqual(abs(knob_left(Shot(os.path.join(harness.BUILD, "volume-shell-later.png"))) - want), 1)
        finally:
            harness.stop(shell)
            harness.kill_wine_programs()


if __name__ == "__main__":
    unittest.main()
