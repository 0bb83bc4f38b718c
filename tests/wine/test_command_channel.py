"""The command channel on Windows: Brask hands a qorzentro:// link to the shell's hidden command
window, which deletes the named entry from a list file and asks the main window to turn the left
pane to that list and reload it.

The window is exercised twice: hosted on its own by twcmdhost.exe (which prints what it asks of the
main window and every text its box receives), and inside the real Tarnwick.exe. Brask is started
the way the system starts a URL-scheme handler, with an exact command line (twlaunch.exe), and the
list file is read the moment Brask has ended.
"""
import os
import re
import shutil
import subprocess
import time
import unittest

import harness as h

DECL = b'<?xml version="1.0" encoding="gb2312"?>\r\n<root>\r\n'
# GBK bytes of two Chinese titles.
LIANLIANKAN = b"\xc1\xac\xc1\xac\xbf\xb4"   # 连连看
XIAOXIAOLE = b"\xcf\xfb\xcf\xfb\xc0\xd6"    # 消消乐


def item(title):
    return b"<item><txt>" + title + b"</txt><url><![CDATA[http://127.0.0.1/g.htm?" + title + b"]]></url></item>"


def list_file(titles):
    return DECL + b"".join(item(t) + b"\r\n" for t in titles) + b"</root>\r\n"


class Installation:
    """A fresh installation folder with known list files."""

    def __init__(self, name, favorites, local):
        self.dir = h.install_copy(name)
        self.leftview = os.path.join(self.dir, "data", "leftview")
        os.makedirs(self.leftview, exist_ok=True)
        self.write("gamefavorites.xml", list_file(favorites))
        self.write("gamelocal.xml", list_file(local))

    def path(self, name):
        return os.path.join(self.leftview, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def brask(self, command_line, timeout_ms=20000, extra_env=None):
        """Starts Brask.exe with `"<path>" <command_line>` and waits for it; returns (exit code, ms)."""
        r = h.run([os.path.join(self.dir, "twlaunch.exe"), h.winpath(os.path.join(self.dir, "Brask.exe")), "1",
                   str(timeout_ms)], extra_env=dict(extra_env or {}, TW_LAUNCH_TAIL=command_line), timeout=60)
        out = r.stdout.decode("utf-8", errors="replace")
        m = re.search(r"exit=(\d+)\s+ms=([\d.]+)", out)
        if not m or "timeout=1" in out:
            raise AssertionError("Brask did not end: %r %r" % (out, r.stderr[-500:]))
        return int(m.group(1)), float(m.group(2))


def command_box(probe_timeout=30):
    """(form, box) records of the hidden command window, or None."""
    forms = h.probe("find", "FrmQorMess", "*", timeout=probe_timeout)
    if len(forms) != 1:
        return None
    boxes = [c for c in h.probe("children", forms[0]["hwnd"], timeout=probe_timeout)
             if c.get("class") == "ThunderRT6TextBox"]
    return (forms[0], boxes[0]) if len(boxes) == 1 else None


class HostedWindow(unittest.TestCase):
    """The command window hosted on its own."""

    @classmethod
    def setUpClass(cls):
        h.ensure()
        h.kill_wine_programs()

    def setUp(self):
        self.inst = Installation(self.id().split(".")[-1], [b"f0", b"f1", LIANLIANKAN, b"f3"],
                                 [b"l0", XIAOXIAOLE, b"l2"])
        self.log = os.path.join(self.inst.dir, "host.log")
        self.host = h.start([os.path.join(self.inst.dir, "twcmdhost.exe"), "120", h.winpath(self.log)])
        self.addCleanup(h.stop, self.host)
        h.wait_until(lambda: self.read_log()[:1] == ["ready"], timeout=30, what="the command window host")

    def read_log(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, "rb") as f:
            return [l.decode("utf-8") for l in f.read().split(b"\n") if l]

    def host_lines(self, count, timeout=10):
        """What the host recorded after "ready", once it holds `count` lines or the time is up."""
        deadline = time.time() + timeout
        while len(self.read_log()) < count + 1 and time.time() < deadline:
            time.sleep(0.02)
        return self.read_log()[1:]

    def test_window_is_hidden_with_its_idle_box(self):
        form, box = h.wait_until(command_box, what="the command window")
        self.assertEqual(form["visible"], "0")
        self.assertEqual(box["text"], "Text1")
        self.assertEqual(box["parent"], form["hwnd"])

    def test_quoted_upper_case_link_deletes_the_first_favourite_before_brask_ends(self):
        code, _ = self.inst.brask('"QORZENTRO://SUB4|0/"')
        # Read at once: the file must already be rewritten when Brask has ended.
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([b"f1", LIANLIANKAN, b"f3"]))
        self.assertEqual(self.inst.read("gamelocal.xml"), list_file([b"l0", XIAOXIAOLE, b"l2"]))
        self.assertEqual(code, 0)
        self.assertEqual(self.host_lines(4)[:4], ['text="QORZENTRO://SUB4|0/"', "turn=sub4", "refresh", "text=Text1"])
        self.assertEqual(command_box()[1]["text"], "Text1")

    def test_lower_case_link_and_chinese_records_survive_byte_for_byte(self):
        self.inst.brask('"qorzentro://sub4|1/"')
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([b"f0", LIANLIANKAN, b"f3"]))
        self.inst.brask("qorzentro://sub4|1/")   # unquoted, as some launchers pass it
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([b"f0", b"f3"]))

    def test_sub3_acts_on_the_local_games(self):
        self.inst.brask('"qorzentro://sub3|1/"')
        self.assertEqual(self.inst.read("gamelocal.xml"), list_file([b"l0", b"l2"]))
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([b"f0", b"f1", LIANLIANKAN, b"f3"]))
        self.assertIn("turn=sub3", self.host_lines(3))

    def test_code_page_936_text_arrives_intact(self):
        self.inst.brask('"qorzentro://收藏|0/连连看"')
        lines = self.host_lines(2)
        self.assertEqual(lines[0], 'text="qorzentro://收藏|0/连连看"')
        self.assertEqual(lines[1], "text=Text1")
        self.assertNotIn("refresh", lines)

    def test_a_look_alike_of_the_bar_is_no_separator_under_code_page_1252(self):
        # Code page 1252 lacks the full-width bar; a best-fit conversion would make it "|".
        before = self.inst.read("gamefavorites.xml")
        self.inst.brask('"qorzentro://sub4\uff5c0/"', extra_env={"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.assertEqual(self.host_lines(2)[:2], ['text="qorzentro://sub4?0/"', "text=Text1"])
        self.assertEqual(self.inst.read("gamefavorites.xml"), before)

    def test_bad_commands_are_ignored_and_the_box_is_reset(self):
        before_fav, before_local = self.inst.read("gamefavorites.xml"), self.inst.read("gamelocal.xml")
        for cmd in ('"qorzentro://sub4/"', '"qorzentro://sub4|x/"', '"qorzentro://sub4|2147483647/"',
                    '"qorzentro://sub4|1|5/"', "", '"qorzentro://sub9|0/"'):
            self.inst.brask(cmd)
            self.assertEqual(h.wait_until(command_box, what="the box")[1]["text"], "Text1", cmd)
        self.assertEqual(self.inst.read("gamefavorites.xml"), before_fav)
        self.assertEqual(self.inst.read("gamelocal.xml"), before_local)
        self.assertNotIn("refresh", self.host_lines(12))

    def test_a_missing_list_leaves_the_window_running(self):
        os.remove(self.inst.path("gamefavorites.xml"))
        self.inst.brask('"qorzentro://sub4|0/"')
        self.assertFalse(os.path.exists(self.inst.path("gamefavorites.xml")))
        self.inst.brask('"qorzentro://sub3|0/"')
        self.assertEqual(self.inst.read("gamelocal.xml"), list_file([XIAOXIAOLE, b"l2"]))
        self.assertIsNone(self.host.poll())


    def test_read_only_and_overlong_lists_are_left_as_they_are(self):
        before = self.inst.read("gamefavorites.xml")
        os.chmod(self.inst.path("gamefavorites.xml"), 0o444)
        self.addCleanup(os.chmod, self.inst.path("gamefavorites.xml"), 0o644)
        self.inst.brask('"qorzentro://sub4|0/"')
        self.assertEqual(self.inst.read("gamefavorites.xml"), before)
        self.assertEqual([n for n in os.listdir(self.inst.leftview) if n.endswith("~")], [])

        overlong = list_file([b"g%d" % i for i in range(32767)])
        self.inst.write("gamelocal.xml", overlong)
        self.inst.brask('"qorzentro://sub3|0/"')
        self.assertEqual(self.inst.read("gamelocal.xml"), overlong)
        self.assertNotIn("refresh", self.host_lines(4))
        self.assertEqual(h.wait_until(command_box, what="the box")[1]["text"], "Text1")


class AddCommand(unittest.TestCase):
    """WriteXML with its message box, as the toolbar's add buttons run it."""

    @classmethod
    def setUpClass(cls):
        h.ensure()
        h.kill_wine_programs()

    def add(self, inst, which, title, url):
        """Runs the add command; returns the message box's text and what the command recorded."""
        log = os.path.join(inst.dir, "add.log")
        if os.path.exists(log):
            os.remove(log)
        p = h.start([os.path.join(inst.dir, "twcmdhost.exe"), "add", which, title, url, h.winpath(log)])
        self.addCleanup(h.stop, p)

        def message_box():
            boxes = h.probe("find", "Tarnwick", "#32770")
            if len(boxes) != 1:
                return None
            texts = [c["text"] for c in h.probe("children", boxes[0]["hwnd"])
                     if c.get("class", "").lower() == "static" and c.get("text")]
            return boxes[0]["hwnd"], texts

        hwnd, texts = h.wait_until(message_box, timeout=30, what="the message box")
        h.probe("post", hwnd, 0x0111, 1, 0)  # WM_COMMAND IDOK: the OK button
        h.wait_until(lambda: p.poll() is not None, timeout=20, what="the command to end")
        with open(log, "rb") as f:
            return texts, f.read().decode("utf-8").split("\n")

    def test_messages_scripts_and_files_of_both_lists(self):
        inst = Installation("add_command", [], [])
        texts, log = self.add(inst, "fav", "连连看", "http://127.0.0.1/a.htm?x=1&y=<2>")
        self.assertEqual(texts, ["游戏收藏成功!"])
        self.assertEqual(log[:2], ["script=javascript:get_xml('gamefavorites.xml','gamefavorites');", "written=1"])
        self.assertEqual(inst.read("gamefavorites.xml"),
                         DECL + b"<item><txt>" + LIANLIANKAN + b"</txt><url><![CDATA[http://127.0.0.1/a.htm?x=1&y=%3C2>]]>"
                         b"</url></item>\r\n</root>\r\n")

        texts, log = self.add(inst, "fav", "连连看", "http://127.0.0.1/other.htm")
        self.assertEqual(texts, ["游戏已经被收藏!"])
        self.assertEqual(log[:1], ["written=0"])

        texts, log = self.add(inst, "local", "消消乐", "http://127.0.0.1/b.htm")
        self.assertEqual(texts, ["此游戏已经下载到本地,下次在玩的时候,无需加载."])
        self.assertEqual(log[:1], ["script=javascript:get_xml('gamelocal.xml','gamelocal');"])
        texts, log = self.add(inst, "local", "消消乐", "http://127.0.0.1/b.htm")
        self.assertEqual(texts, ["此游戏已经下载!"])

    def test_a_list_without_its_closing_line_is_refused_and_kept(self):
        inst = Installation("add_refused", [], [])
        broken = DECL + item(b"f0") + b"\r\n"
        inst.write("gamefavorites.xml", broken)
        texts, log = self.add(inst, "fav", "New", "http://127.0.0.1/n.htm")
        self.assertEqual(len(texts), 1)
        self.assertNotEqual(texts[0], "游戏收藏成功!")
        self.assertIn("</root>", texts[0])
        self.assertEqual(log[:1], ["written=0"])
        self.assertEqual(inst.read("gamefavorites.xml"), broken)


class RelayAlone(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        h.ensure()
        h.kill_wine_programs()

    def test_without_a_shell_brask_ends_at_once(self):
        inst = Installation("relay_alone", [b"f0"], [b"l0"])
        self.assertEqual(h.probe("find", "FrmQorMess", "*"), [])
        code, ms = inst.brask('"qorzentro://sub4|0/"', timeout_ms=10000)
        self.assertEqual(code, 0)
        self.assertLess(ms, 5000)
        self.assertEqual(inst.read("gamefavorites.xml"), list_file([b"f0"]))

    def test_brask_is_windowless_and_calls_only_the_three_functions(self):
        objdump = shutil.which(h.OBJDUMP) or shutil.which("objdump")
        self.assertIsNotNone(objdump, "objdump is needed to read the program's imports")
        out = subprocess.run([objdump, "-p", os.path.join(h.BIN, "Brask.exe")], stdout=subprocess.PIPE,
                             timeout=60, check=True).stdout.decode(errors="replace")
        # The GUI subsystem: no console window either.
        self.assertRegex(out, r"Subsystem\s+0*2\s")
        user32 = out.split("DLL Name: USER32.dll", 1)[1].split("DLL Name:", 1)[0]
        names = sorted(set(re.findall(r"^\s+[0-9a-fA-F]+\s+\d+\s+([A-Za-z_]\w*)$", user32, re.M)))
        self.assertEqual(names, ["FindWindowA", "FindWindowExA", "SendMessageA"])


class RealShell(unittest.TestCase):
    """The command window inside Tarnwick.exe."""

    @classmethod
    def setUpClass(cls):
        h.ensure()
        h.kill_wine_programs()

    def setUp(self):
        self.inst = Installation("real_shell", [b"f0", LIANLIANKAN, b"f2"], [b"l0", b"l1"])
        self.shell = h.start([os.path.join(self.inst.dir, "Tarnwick.exe")])
        self.addCleanup(h.kill_wine_programs)
        self.addCleanup(h.stop, self.shell)
        # A probe started while a freshly started prefix is still coming up can stall under Wine;
        # such a probe is abandoned and tried again.
        def ready():
            try:
                return command_box(probe_timeout=10)
            except subprocess.TimeoutExpired:
                return None
        h.wait_until(ready, timeout=60, interval=0.5, what="the shell's command window")

    def test_links_delete_entries_in_the_running_shell(self):
        self.inst.brask('"qorzentro://sub4|0/"')
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([LIANLIANKAN, b"f2"]))
        self.inst.brask('"QORZENTRO://SUB3|1/"')
        self.assertEqual(self.inst.read("gamelocal.xml"), list_file([b"l0"]))
        self.assertEqual(command_box()[1]["text"], "Text1")
        self.assertIsNone(self.shell.poll())

    def test_the_command_window_goes_with_the_shell(self):
        mains = [w for w in h.probe("find", "*", "TarnwickMain")]
        self.assertEqual(len(mains), 1)
        h.probe("send", mains[0]["hwnd"], 0x0010, 0, 0)  # WM_CLOSE: shut-down
        h.wait_until(lambda: self.shell.poll() is not None, timeout=20, what="the shell to end")
        self.assertEqual(h.probe("find", "FrmQorMess", "*"), [])
        code, _ = self.inst.brask('"qorzentro://sub4|0/"')
        self.assertEqual(code, 0)
        self.assertEqual(self.inst.read("gamefavorites.xml"), list_file([b"f0", LIANLIANKAN, b"f2"]))


if __name__ == "__main__":
    unittest.main()
