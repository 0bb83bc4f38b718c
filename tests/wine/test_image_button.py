"""The image button Corvala.Cmd_ under Wine: self-registration, late binding by dispatch id,
pictures from files, property-bag and stream persistence, and the events the real mouse raises."""
import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CLSID_CMD = "{53B5648A-1AA9-4F48-94F7-9DFBB0C65FC6}"
CLSID_DFILES = "{2C757088-656C-4F30-B5F1-EBD4B755E2CB}"
# Everything registration writes is found by one of these.
OUR_MARKS = ["53B5648A-1AA9-4F48-94F7-9DFBB0C65FC6", "E65D71B6-F892-4B01-ADFE-AF20868C5ADB",
             "6C380CAA-F192-4717-884E-6BC4F55FFA38", "5BC795AF-B10A-447D-9115-58C21CDC2207",
             "2C757088-656C-4F30-B5F1-EBD4B755E2CB", "6A6EB963-5C1A-4F5C-B803-9B204F25E8C5",
             "F86A8A61-3B09-442A-BA06-8D42ADD98575", "CORVALA"]


def write_bmp(path, width, height, rgb):
    row = bytes([rgb[2], rgb[1], rgb[0]]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    data = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def parse(out):
    values = {}
    for line in out.decode("utf-8", errors="replace").replace("\r\n", "\n").split("\n"):
        key, sep, value = line.partition("=")
        if sep:
            values[key] = value
    return values


class CorvalaCase(unittest.TestCase):
    """A test installation with the library registered for each test and unregistered after it."""

    @classmethod
    def setUpClass(cls):
        harness.ensure()
        cls.dir = harness.install_copy("image_button")
        cls.pics = []
        for name, size, rgb in (("normal", (40, 24), (255, 0, 0)), ("hover", (40, 24), (0, 255, 0)),
                                ("down", (40, 24), (0, 0, 255)), ("big", (60, 30), (255, 255, 0))):
            path = os.path.join(cls.dir, name + ".bmp")
            write_bmp(path, size[0], size[1], rgb)
            cls.pics.append(harness.winpath(path))
        cls.dll = harness.winpath(os.path.join(cls.dir, "Corvala.dll"))
        cls.driver = os.path.join(cls.dir, "twcmdbutton.exe")

    def setUp(self):
        r = harness.run(["regsvr32", "/s", self.dll], timeout=60)
        self.assertEqual(r.returncode, 0, "regsvr32 failed")

    def tearDown(self):
        harness.run(["regsvr32", "/u", "/s", self.dll], timeout=60)
        harness.kill_wine_programs()


class ImageButtonTest(CorvalaCase):
    def classes_export(self, name):
        path = os.path.join(self.dir, name)
        if os.path.exists(path):
            os.remove(path)
        harness.run(["regedit", "/E", harness.winpath(path), "HKEY_CLASSES_ROOT"], timeout=60, check=True)
        with open(path, "rb") as f:
            return f.read().decode("utf-16", errors="replace").upper()

    def test_unregister_removes_every_key_it_wrote(self):
        registered = self.classes_export("registered.reg")
        for mark in OUR_MARKS:
            self.assertIn(mark, registered, "registration wrote nothing with " + mark)
        self.assertIn('[HKEY_CLASSES_ROOT\\CORVALA.CMD_\\CLSID]\r\n@="%s"' % CLSID_CMD, registered)
        self.assertIn('[HKEY_CLASSES_ROOT\\CORVALA.DFILES\\CLSID]\r\n@="%s"' % CLSID_DFILES, registered)
        r = harness.run(["regsvr32", "/u", "/s", self.dll], timeout=60)
        self.assertEqual(r.returncode, 0)
        left = self.classes_export("unregistered.reg")
        for mark in OUR_MARKS:
            self.assertNotIn(mark, left, "unregistration left keys with " + mark)

    def test_progids_name_the_published_class_ids(self):
        r = harness.run([self.driver, "dfiles"], timeout=60)
        v = parse(r.stdout)
        self.assertEqual(v.get("progid.hr"), "0x00000000")
        self.assertEqual(v.get("clsid"), CLSID_DFILES)

    def test_late_binding_pictures_and_persistence(self):
        r = harness.run([self.driver, "api"] + self.pics, timeout=90)
        v = parse(r.stdout)
        self.assertEqual(r.returncode, 0, r.stdout.decode(errors="replace"))
        self.assertEqual(v["clsid"], CLSID_CMD)
        expected_ids = {"RefreshSkin": 0x60030004, "SetChk": 0x60030005, "Picture": 0x68030003,
                        "ToolTipText": 0x68030002, "PicturePoint": 0x68030001, "PictureDown": 0x68030000,
                        "SetMode": 0x6003000D, "CheckBox": 0x6003000E, "InitCtlSet": 0x60030013}
        for name, dispid in expected_ids.items():
            self.assertEqual(int(v["id." + name], 16), dispid, name)
        self.assertEqual(int(v["id.lowercase"], 16), 0x60030013)
        self.assertEqual(v["id.unknown.hr"], "0x80020006")  # DISP_E_UNKNOWNNAME
        self.assertEqual(v["events.iid"], "{6C380CAA-F192-4717-884E-6BC4F55FFA38}")
        self.assertEqual(v["typeinfo.name"], "_Cmd_")
        # Published members: name, dispatch id, kind (1 method, 2 get, 4 let, 8 set) and value type.
        self.assertEqual(v["typeinfo.members"].split(";"), [
            "RefreshSkin:0x60030004:1:24", "SetChk:0x60030005:1:24",
            "Picture:0x68030003:2:IPictureDisp", "Picture:0x68030003:8:IPictureDisp",
            "ToolTipText:0x68030002:2:8", "ToolTipText:0x68030002:4:8",
            "PicturePoint:0x68030001:2:IPictureDisp", "PicturePoint:0x68030001:8:IPictureDisp",
            "PictureDown:0x68030000:2:IPictureDisp", "PictureDown:0x68030000:8:IPictureDisp",
            "SetMode:0x6003000d:1:24", "CheckBox:0x6003000e:1:24", "InitCtlSet:0x60030013:1:24"])

        # A new button: no pictures, 615 x 495 twips, nothing to persist.
        self.assertEqual(v["interfaces"], "IOleObject,IOleWindow,IOleInPlaceObject,IOleInPlaceActiveObject,"
                         "IOleControl,IViewObject,IViewObject2,IPersist,IPersistPropertyBag,IPersistStreamInit,"
                         "IProvideClassInfo,IProvideClassInfo2,IConnectionPointContainer")
        # The container's event sink on the events interface, nothing yet on property notifications.
        self.assertEqual(v["points"], "{6C380CAA-F192-4717-884E-6BC4F55FFA38}:1,"
                         "{9BFBBC02-EFF1-101A-84ED-00AA00341D07}:0")
        self.assertEqual(v["unadvise.unknown.hr"], "0x80040200")  # CONNECT_E_NOCONNECTION
        self.assertEqual(v["fresh.size"], "41x33")
        self.assertEqual(v["fresh.tooltip"], "")
        self.assertEqual(v["fresh.bag.keys"], "")

        # Pictures from files: only Picture changes the display; the size follows at InitCtlSet.
        self.assertEqual(v["pictures.loaded"], "4")
        self.assertNotIn(v["after.point.down.shown"], ("hover", "down"))
        self.assertEqual(v["after.picture.shown"], "normal")
        self.assertEqual(v["after.picture.size"], "41x33")
        self.assertEqual(v["after.initctlset.size"], "40x24")
        self.assertEqual(v["get.point.same"], "1")
        self.assertEqual(v["get.tooltip"], "返回 back")
        self.assertEqual(v["changed"], "0x68030001,0x68030000,0x68030003,0x68030002")
        self.assertEqual(v["dirty.hr"], "0x00000000")  # S_OK: dirty
        self.assertEqual(v["after.resize.size"], "40x24")

        # Methods.
        self.assertEqual(v["mode1.shown"], "hover")
        self.assertEqual(v["mode3.shown"], "hover")
        self.assertEqual(v["mode2.shown"], "down")
        self.assertEqual(v["mode0.shown"], "normal")
        self.assertEqual(v["setchk.false.shown"], "down")
        self.assertEqual(v["refresh.nocheckbox.shown"], "normal")
        self.assertEqual(v["checkbox.shown"], "normal")
        self.assertEqual(v["refresh.checkbox.shown"], "down")
        self.assertEqual(v["hover.newpoint.shown"], "hover")
        self.assertEqual(v["down.newdown.shown"], "down")
        self.assertEqual(v["setmode.text.hr"], "0x80020005")  # DISP_E_TYPEMISMATCH

        # Property bag: all four keys (each differs from its default), pictures really serialised.
        self.assertEqual(v["save.hr"], "0x00000000")
        self.assertEqual(v["bag.keys"], "Picture,PicturePoint,PictureDown,ToolTipText")
        self.assertGreater(int(v["bag.picture.bytes"]), 40 * 24 * 3)
        self.assertEqual(v["loaded.size"], "40x24")
        self.assertEqual(v["loaded.shown"], "normal")
        self.assertEqual(v["loaded.tooltip"], "返回 back")
        self.assertEqual(v["loaded.mode1.shown"], "hover")
        self.assertEqual(v["loaded.mode2.shown"], "down")

        # Stream persistence keeps the 60 x 30 picture: 1588 x 794 HIMETRIC.
        self.assertEqual(v["big.shown"], "big")
        self.assertEqual(v["big.size.before.init"], "40x24")
        self.assertEqual(v["big.size"], "60x30")
        self.assertEqual(v["stream.load.hr"], "0x00000000")
        self.assertEqual((v["stream.extent.cx"], v["stream.extent.cy"]), ("1588", "794"))
        # Everything released: the library unloads, so no object kept a reference.
        self.assertEqual((v["loaded.before.free"], v["loaded.after.free"]), ("1", "0"))
        self.assertEqual(v["reload.size"], "41x33")
        self.assertEqual(v.get("done"), "1")


class MouseEventsTest(CorvalaCase):
    """The real pointer (xdotool on the virtual display) over a hosted button."""

    def start_driver(self, mode="events"):
        self.log = os.path.join(self.dir, "events.log")
        if os.path.exists(self.log):
            os.remove(self.log)
        self.read_pos = 0
        self.partial = ""
        self.lines = []
        self.tips = []
        self.proc = harness.start([self.driver, mode, harness.winpath(self.log)] + self.pics[:3])
        ready = self.next_line()
        self.assertTrue(ready.startswith("ready "), ready)
        fields = dict(item.split("=", 1) for item in ready.split()[1:])
        self.rect = {k: int(fields[k]) for k in ("left", "top", "right", "bottom")}
        self.frame = int(fields["frame"])
        self.assertEqual(fields["shown"], "normal")
        self.assertEqual((self.rect["right"] - self.rect["left"], self.rect["bottom"] - self.rect["top"]), (40, 24))

    def tearDown(self):
        if getattr(self, "proc", None):
            harness.stop(self.proc)
        super().tearDown()

    def poll_lines(self):
        """Moves the driver's newly written complete lines into self.lines."""
        if not os.path.exists(self.log):
            return
        with open(self.log, "rb") as f:
            f.seek(self.read_pos)
            data = f.read()
        self.read_pos += len(data)
        text = self.partial + data.decode("utf-8", errors="replace")
        *complete, self.partial = text.split("\n")
        self.lines.extend(line.strip() for line in complete)

    def next_line(self, timeout=60):
        deadline = time.time() + timeout
        while not self.lines and time.time() < deadline:
            self.poll_lines()
            if not self.lines:
                time.sleep(0.02)
        if not self.lines:
            self.fail("no output from the driver within %s s" % timeout)
        return self.lines.pop(0)

    def events_until(self, name, timeout=60):
        """Events up to and including the first `name` event, as (name, args, shown)."""
        got = []
        deadline = time.time() + timeout
        while time.time() < deadline:
            self.poll_lines()
            if not self.lines:
                time.sleep(0.02)
                continue
            line = self.lines.pop(0)
            if not line.startswith("event="):
                continue
            parts = dict(p.split("=", 1) for p in line.split())
            args = tuple(int(a) for a in parts["args"].split(",") if a)
            got.append((parts["event"], args, parts["shown"]))
            self.tips.append(parts["tip"])
            if parts["event"] == name:
                return got
        self.fail("no %s event within %s s; got %r" % (name, timeout, got))

    def drain(self, seconds):
        time.sleep(seconds)
        self.poll_lines()
        got = [line for line in self.lines if line.startswith("event=")]
        self.lines = []
        return got

    def move(self, x, y):
        harness.xdotool("mousemove", x, y)

    def test_hover_press_release_and_leave(self):
        self.start_driver()
        x, y = self.rect["left"] + 20, self.rect["top"] + 10
        self.move(x, y)
        ev = self.events_until("MouseMove")
        self.assertEqual(ev[-1], ("MouseMove", (300, 150), "hover"))
        # The tooltip reaches the button only at the first leave-check tick after a move.
        self.assertEqual(self.tips[0], "none")

        harness.xdotool("mousedown", 1)
        ev = self.events_until("MouseDown")
        self.assertEqual(ev[-1], ("MouseDown", (1, 300, 150), "down"))
        harness.xdotool("mouseup", 1)
        ev = self.events_until("Click")
        self.assertEqual(ev[-2:], [("MouseUp", (1, 300, 150), "hover"), ("Click", (), "hover")])

        # Off the button, onto its parent: the normal picture and exactly one MouseLeave.
        self.move(self.rect["left"] + 150, self.rect["top"] + 100)
        ev = self.events_until("MouseLeave")
        self.assertEqual(ev[-1], ("MouseLeave", (self.rect["left"] + 150, self.rect["top"] + 100), "normal"))
        self.assertEqual(self.tips[-1], "提示tip")
        self.assertEqual([e for e in self.drain(0.5) if "MouseLeave" in e], [])

    def test_press_drag_off_and_back_shows_pressed_again(self):
        self.start_driver()
        x, y = self.rect["left"] + 10, self.rect["top"] + 5
        self.move(x, y)
        self.events_until("MouseMove")
        harness.xdotool("mousedown", 1)
        self.events_until("MouseDown")
        # Held and dragged off: the leave check restores the normal picture ...
        self.move(self.rect["left"] + 200, self.rect["top"] + 120)
        ev = self.events_until("MouseLeave")
        self.assertEqual(ev[-1][2], "normal")
        # ... and back over the button the pressed picture returns, because the button is still down.
        self.move(x + 1, y)
        ev = self.events_until("MouseMove")
        self.assertEqual(ev[-1], ("MouseMove", (165, 75), "down"))
        harness.xdotool("mouseup", 1)
        ev = self.events_until("Click")
        self.assertEqual([e[0] for e in ev[-2:]], ["MouseUp", "Click"])
        self.assertEqual(ev[-2][2], "hover")

    def test_double_click_and_close(self):
        self.start_driver()
        self.move(self.rect["left"] + 5, self.rect["top"] + 5)
        self.events_until("MouseMove")
        harness.xdotool("click", "--repeat", 2, "--delay", 60, 1)
        ev = self.events_until("Dblclick")
        names = [e[0] for e in ev]
        self.assertEqual(names.count("Click"), 1, names)
        self.assertEqual(names.count("MouseDown"), 1, names)
        # The host closes its window: the driver ends cleanly.
        harness.probe("post", self.frame, 0x10, 0, 0)
        harness.wait_until(lambda: self.proc.poll() is not None, timeout=15, what="the driver to end")

    def test_host_may_destroy_the_button_in_its_click_handler(self):
        self.start_driver("events-destroy")
        self.move(self.rect["left"] + 5, self.rect["top"] + 5)
        self.events_until("MouseMove")
        harness.xdotool("click", 1)
        self.events_until("Click")
        self.assertEqual(self.next_line(), "destroyed")
        # The driver lives on and closes normally.
        self.move(self.rect["left"] + 8, self.rect["top"] + 8)
        harness.probe("post", self.frame, 0x10, 0, 0)
        harness.wait_until(lambda: self.proc.poll() is not None, timeout=15, what="the driver to end")
        self.assertEqual(self.proc.returncode, 0)


if __name__ == "__main__":
    unittest.main()
