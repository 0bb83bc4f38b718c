"""The main window's browser panes, tabs, toolbar and layout under Wine, through the real Tarnwick.exe.

Wine has no HTML engine, so the test prefix gets a scripted stand-in browser (twstandin.dll)
registered under the WebBrowser class id for the length of this file: each browser the shell
creates is a stand-in that logs every call it receives (to the file named by TW_STANDIN_LOG) and
raises its notifications when its hidden cue window "TwStandin <n>" is sent a command. The image
buttons and the tab strip's buttons are the real Corvala.Cmd_ controls (Corvala.dll registered
from the installation folder).
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CAPTION = "欢迎使用Tarnwick - 让您轻松享受丰富多彩的游戏世界"
HOME_TAB = "Tarnwick 127.0.0.1"
DECL = b'<?xml version="1.0" encoding="gb2312"?>\r\n<root>\r\n'
WM_COMMAND, WM_SYSCOMMAND, WM_KEYDOWN, VK_TAB = 0x0111, 0x0112, 0x0100, 9
SC_MINIMIZE, SC_RESTORE = 0xF020, 0xF120
IDOK = 1


def rect(r):
    return tuple(int(v) for v in r["rect"].split(","))


def centre(r):
    x0, y0, x1, y1 = rect(r)
    return (x0 + x1) // 2, (y0 + y1) // 2


def px(twips):
    """The shell's twips-to-pixels conversion at 96 dpi: nearest pixel, halves away from zero."""
    n = twips * 96
    return (n + 720) // 1440 if n >= 0 else -((-n + 720) // 1440)


def item(title, url):
    return b"<item><txt>" + title + b"</txt><url><![CDATA[" + url + b"]]></url></item>"


def list_file(records):
    return DECL + b"".join(item(t, u) + b"\r\n" for t, u in records) + b"</root>\r\n"


def register(dll):
    r = h.run(["regsvr32", "/s", h.winpath(dll)], timeout=60)
    if r.returncode != 0:
        raise AssertionError("regsvr32 %s failed (%d)" % (dll, r.returncode))


def unregister(dll):
    h.run(["regsvr32", "/u", "/s", h.winpath(dll)], timeout=60)


class Shell:
    """One Tarnwick.exe in a fresh installation folder, its browsers being stand-ins."""

    def __init__(self, name, favorites=(), local=()):
        h.ensure()
        h.kill_wine_programs()
        self.folder = h.install_copy(name)
        self.leftview = os.path.join(self.folder, "data", "leftview")
        self.write_list("gamefavorites.xml", list_file(favorites))
        self.write_list("gamelocal.xml", list_file(local))
        self.standin = os.path.join(h.BIN, "twstandin.dll")
        self.corvala = os.path.join(self.folder, "Corvala.dll")
        self.log_path = os.path.join(h.BUILD, "standin-%s.log" % name)
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        self.proc = None
        self.main = None
        try:
            register(self.standin)
            register(self.corvala)
            self.proc = h.start([os.path.join(self.folder, "Tarnwick.exe")],
                                extra_env={"TW_STANDIN_LOG": h.winpath(self.log_path)})
            self.main = h.wait_until(self._find_main, 30, what="the main window")
            # The left pane and pane 0 are navigated at start-up; that names their stand-ins.
            self.left = h.wait_until(lambda: self.instance_navigated_to(
                h.winpath(os.path.join(self.folder, "data", "leftview", "leftbak.html"))), 15, what="the left pane")
            self.pane0 = h.wait_until(lambda: self.instance_navigated_to(h.PORTAL + "/list.htm"), 15,
                                      what="pane 0")
        except BaseException:
            # The prefix gets its own browser back whatever happened.
            self.close()
            raise

    def _find_main(self):
        recs = [r for r in h.probe("find", CAPTION, "TarnwickMain") if r["visible"] == "1"]
        return recs[0] if recs else None

    def close(self):
        try:
            if self.proc and self.main and self.proc.poll() is None:
                self.dismiss_message_boxes()
                h.probe("post", self.main["hwnd"], 0x0010, 0, 0)  # WM_CLOSE
                try:
                    h.wait_until(lambda: self.proc.poll() is not None, 15, what="the shell to exit")
                except AssertionError:
                    h.stop(self.proc)
        finally:
            h.kill_wine_programs()
            unregister(self.corvala)
            unregister(self.standin)

    # --- Files ---------------------------------------------------------------------------
    def write_list(self, name, data):
        with open(os.path.join(self.leftview, name), "wb") as f:
            f.write(data)

    def read_list(self, name):
        with open(os.path.join(self.leftview, name), "rb") as f:
            return f.read()

    # --- The stand-ins -----------------------------------------------------------------------
    def log(self):
        """Every call the stand-ins received so far: [(instance, what, detail)]."""
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, "rb") as f:
            data = f.read().decode("utf-8", errors="replace")
        out = []
        for line in data.split("\n"):
            parts = line.split("\t")
            if len(parts) == 3:
                out.append((int(parts[0]), parts[1], parts[2]))
        return out

    def calls(self, instance, what=None):
        return [(w, d) for n, w, d in self.log() if n == instance and (what is None or w == what)]

    def instance_navigated_to(self, address):
        found = [n for n, w, d in self.log() if w == "navigate" and d == address]
        return found[0] if len(found) == 1 else None

    def host(self, instance):
        """The container window the stand-in was activated in."""
        acts = self.calls(instance, "activate")
        return acts[0][1] if acts else None

    def left_page(self):
        return h.winpath(os.path.join(self.folder, "data", "leftview", "leftbak.html"))

    def completions(self, instance, address):
        """How many times stand-in `instance` completed the document at `address` as its own."""
        return self.calls(instance, "documentcomplete").count(("documentcomplete", address))

    def cue(self, instance, command):
        """Sends a command to stand-in `instance`; returns when the command has run."""
        cues = h.probe("find", "TwStandin %d" % instance, "TwStandinCue")
        if len(cues) != 1:
            raise AssertionError("no cue window for stand-in %d" % instance)
        before = len(self.log())
        h.probe("settext-ansi", cues[0]["hwnd"], command)
        verb = command.split(" ")[0]
        h.wait_until(lambda: (instance, "done", verb) in self.log()[before:], 10, what="cue %r" % command)

    def new_window(self, instance, url, verb="newwindow"):
        """Raises NewWindow3 (or, with `newwindow2`, NewWindow2 and then NewWindow3) on stand-in
        `instance`; returns the stand-in of the new pane."""
        self.cue(instance, verb + " " + url)
        return h.wait_until(lambda: self.instance_navigated_to(url), 10, what="the new pane to load " + url)

    # --- Windows ------------------------------------------------------------------------------
    def tree(self):
        return h.probe("children", self.main["hwnd"])

    def info(self, hwnd):
        recs = h.probe("info", hwnd)
        return recs[0] if recs else None

    def client_origin(self):
        c = self.info(self.main["hwnd"])["client"].split(",")
        return int(c[0]), int(c[1])

    def parts(self):
        """The main window's containers and the children the tests look at, found by what they hold."""
        tree = self.tree()
        by_hwnd = {r["hwnd"]: r for r in tree}
        kids = {}
        for r in tree:
            kids.setdefault(r["parent"], []).append(r)
        top = [r for r in tree if r["parent"] == self.main["hwnd"]]
        p = {"tree": tree, "by_hwnd": by_hwnd, "kids": kids}
        left_host, pane0_host = str(self.host(self.left)), str(self.host(self.pane0))
        for r in top:
            mine = kids.get(r["hwnd"], [])
            hwnds = [c["hwnd"] for c in mine]
            if r["class"] == "TwLintraTab":
                p["LintraTab1"] = r
            elif left_host in hwnds:
                p["LeftPanel"] = r
            elif pane0_host in hwnds:
                p["webPanel"] = r
            elif any(c["class"] == "TarnwickVolSlider" for c in mine):
                p["StatuBar"] = r
            elif any(c["text"] == "老板键:CTRL+B" for c in mine):
                p["TopBar"] = r
            elif r["class"] == "TarnwickPanel" and len(mine) == 2 and all(c["class"] == "Static" for c in mine):
                p["HideBar"] = r
        return p

    def tabs(self):
        """The tab windows of the strip, left to right: [(caption, record)]. The window tree is read
        again until it shows the strip with its first tab: read while the strip remakes its tabs, it
        can miss them."""
        def read():
            p = self.parts()
            if "LintraTab1" not in p:
                return None
            panels = [r for r in p["kids"].get(p["LintraTab1"]["hwnd"], []) if r["class"] == "TwTabPanel"]
            tabs = []
            for panel in panels:
                tabs += [r for r in p["kids"].get(panel["hwnd"], []) if r["class"] == "TwTabBtn"]
            tabs.sort(key=lambda r: rect(r)[0])
            return [(r["text"], r) for r in tabs] or None
        return h.wait_until(read, 10, what="the tab strip and its tabs")

    def toolbar_buttons(self):
        """The image buttons on the toolbar, by their place on it: {left in pixels: [records]}."""
        p = self.parts()
        x0 = rect(p["TopBar"])[0]
        out = {}
        for r in p["kids"].get(p["TopBar"]["hwnd"], []):
            if r["class"] == "TwAxHost":
                out.setdefault(rect(r)[0] - x0, []).append(r)
        return out

    def button(self, left_twips, visible=True):
        buttons = [b for b in self.toolbar_buttons().get(px(left_twips), [])
                   if (self.info(b["hwnd"])["visible"] == "1") == visible]
        if len(buttons) != 1:
            raise AssertionError("no single %s button at %d twips" % ("visible" if visible else "hidden", left_twips))
        return buttons[0]

    def click(self, record):
        x, y = centre(record)
        h.xdotool("mousemove", "--sync", x, y)
        time.sleep(0.15)
        h.xdotool("click", "1")
        time.sleep(0.1)
        # Away from the button, so it shows its normal picture again.
        h.xdotool("mousemove", "--sync", 1, 1)

    def visible(self, hwnd):
        i = self.info(hwnd)
        return bool(i) and i["visible"] == "1"

    def accessible(self, *args):
        """What a screen reader reads (twaccess.exe on the main window): [{depth, role, state, name, value, ...}]."""
        r = h.run([os.path.join(h.BIN, "twaccess.exe"), args[0], self.main["hwnd"]] + list(args[1:]), timeout=60)
        text = r.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
        return [dict(line.split("=", 1) for line in rec.split("\n") if "=" in line)
                for rec in text.split("\n\n") if rec.strip()]

    # --- Message boxes ---------------------------------------------------------------------------
    def message_box(self):
        boxes = [r for r in h.probe("find", "Tarnwick", "#32770") if r["visible"] == "1"]
        if len(boxes) != 1:
            return None
        texts = [c["text"] for c in h.probe("children", boxes[0]["hwnd"])
                 if c["class"].lower() == "static" and c["text"]]
        return boxes[0], texts

    def dismiss_message_boxes(self):
        for box in h.probe("find", "Tarnwick", "#32770"):
            h.probe("post", box["hwnd"], WM_COMMAND, IDOK, 0)
        h.wait_until(lambda: not [b for b in h.probe("find", "Tarnwick", "#32770") if b["visible"] == "1"], 10,
                     what="the message box to close")


class PanesTabsAndFavourites(unittest.TestCase):
    """One shell: new windows become panes and tabs, titles become captions, tabs select and close
    panes, the reload and favourites buttons act on the visible pane. The steps build on each other."""

    @classmethod
    def setUpClass(cls):
        cls.s = Shell("main_window_panes")
        cls.panes = {0: cls.s.pane0}

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def host_visible(self):
        """{pane index: is its container window visible} for the panes that exist."""
        p = self.s.parts()
        alive = {c["hwnd"]: c for c in p["kids"].get(p["webPanel"]["hwnd"], [])}
        out = {}
        for index, instance in self.panes.items():
            hwnd = str(self.s.host(instance))
            if hwnd in alive:
                out[index] = self.s.visible(hwnd)
        return out

    def test_1_new_windows_become_selected_panes_and_tabs_and_indexes_are_not_reused(self):
        s = self.s
        self.assertEqual([c for c, _ in s.tabs()], [HOME_TAB])
        for n in (1, 2, 3):
            url = h.PORTAL + "/g%d.htm" % n
            self.panes[n] = s.new_window(s.pane0, url)
            inst = self.panes[n]
            self.assertEqual(s.calls(inst, "registerasbrowser"), [("registerasbrowser", "true")])
            self.assertIn(("newwindow", "handed=1 cancel=0"), s.calls(s.pane0))
            h.wait_until(lambda: len(s.tabs()) == n + 1, 5, what="tab %d" % n)
            self.assertEqual({i: v for i, v in self.host_visible().items()},
                             {i: i == n for i in range(n + 1)}, "only the new pane is visible")
        # The new pane takes the place and size of pane 0.
        p = s.parts()
        self.assertEqual(rect(s.info(str(s.host(self.panes[3])))), rect(s.info(str(s.host(s.pane0)))))
        # Close tab 2 with its close button: the pane goes, pane 0 is shown.
        tab2 = s.tabs()[2][1]
        closers = [c for c in p["kids"].get(tab2["hwnd"], []) if c["class"] == "TwAxHost"]
        self.assertEqual(len(closers), 1)
        s.click(closers[0])
        h.wait_until(lambda: ("close", "") in s.calls(self.panes[2]), 10, what="pane 2 to be closed")
        h.wait_until(lambda: len(s.tabs()) == 3, 5, what="tab 2 to go")
        self.assertEqual(self.host_visible(), {0: True, 1: False, 3: False})
        # A link in the left page that opens a new window: pane and tab 4, selected.
        self.panes[4] = s.new_window(s.left, h.PORTAL + "/g4.htm")
        self.assertIn(("newwindow", "handed=1 cancel=0"), s.calls(s.left))
        self.assertEqual(self.host_visible(), {0: False, 1: False, 3: False, 4: True})
        self.assertEqual([c for c, _ in s.tabs()], [HOME_TAB, "Tarnwick", "Tarnwick", "Tarnwick"])
        # Pane 4 lives in the content area, not in the left column.
        self.assertIn(str(s.host(self.panes[4])), [c["hwnd"] for c in s.parts()["kids"][s.parts()["webPanel"]["hwnd"]]])
        self.assertEqual(s.calls(s.left, "navigate")[1:], [], "the left pane keeps its page")

    def test_1b_every_browser_gets_a_flat_dpi_aware_look_and_its_own_context_menu(self):
        # DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE; ShowContextMenu answers S_FALSE.
        for b in list(self.panes.values()) + [self.s.left]:
            self.assertEqual(self.s.calls(b, "hostinfo"), [("hostinfo", "0x40000004 0x00000001")], "stand-in %d" % b)

    def test_2_titles_rename_their_own_tab_only(self):
        # A title names the tab of the pane's own index: had the shell reused index 2 for the last
        # new pane, its title could not reach the fourth tab (tab 4).
        s = self.s
        captions = lambda: [c for c, _ in s.tabs()]  # noqa: E731
        s.cue(self.panes[4], "title 连连看大作战")
        h.wait_until(lambda: captions()[3] == "连连看大作战", 5, what="tab 4 renamed")
        s.cue(self.panes[4], "title Page http mirror")
        s.cue(self.panes[4], "title http://127.0.0.1/g4.htm")
        s.cue(self.panes[0 + 0], "title 首页标题")  # pane 0's titles never reach tab 0
        s.cue(self.panes[1], "title abc")
        h.wait_until(lambda: captions()[1] == "abc", 5, what="tab 1 renamed")
        self.assertEqual(captions(), [HOME_TAB, "abc", "Tarnwick", "连连看大作战"])
        s.cue(self.panes[3], "title 123456789012345")
        h.wait_until(lambda: captions()[2] == "123456789012345", 5, what="a 15-character title whole")
        s.cue(self.panes[3], "title 1234567890123456")
        h.wait_until(lambda: captions()[2] == "123456789012345...", 5, what="a 16-character title cut")

    def test_3_reload_acts_on_the_visible_pane_only(self):
        s = self.s
        before = {i: len(s.calls(inst, "refresh")) for i, inst in self.panes.items()}
        s.click(s.button(1440))  # Cmd_4
        h.wait_until(lambda: len(s.calls(self.panes[4], "refresh")) == before[4] + 1, 5, what="pane 4 to reload")
        # The click is handled in one go: once the window answers, whatever it reloaded is recorded.
        self.assertEqual(h.probe("send", s.main["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL
        after = {i: len(s.calls(inst, "refresh")) for i, inst in self.panes.items()}
        self.assertEqual(after, {i: before[i] + (1 if i == 4 else 0) for i in before})

    def test_3b_keys_go_to_the_visible_pane_first_and_no_other(self):
        s = self.s
        browsers = list(self.panes.values()) + [s.left]
        before = {b: len(s.calls(b, "translateaccelerator")) for b in browsers}
        h.probe("post", s.main["hwnd"], WM_KEYDOWN, VK_TAB, 0)
        h.wait_until(lambda: len(s.calls(self.panes[4], "translateaccelerator")) > before[self.panes[4]] + 1, 5,
                     what="pane 4 to be offered the key and its character")
        self.assertEqual(h.probe("send", s.main["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL: both handled
        got = {b: [d for _, d in s.calls(b, "translateaccelerator")[before[b]:]] for b in browsers}
        # WM_KEYDOWN, then the WM_CHAR the key made once the pane left it to the shell.
        self.assertEqual(got, {b: ["256 9", "258 9"] if b == self.panes[4] else [] for b in browsers})

    def test_4_favourites_button_stores_the_current_tab_and_address_once(self):
        s = self.s
        empty = s.read_list("gamefavorites.xml")
        script = "javascript:get_xml('gamefavorites.xml','gamefavorites');"
        cmd5 = s.button(2520)
        s.click(cmd5)
        box, texts = h.wait_until(s.message_box, 10, what="the first message box")
        self.assertEqual(texts, ["游戏收藏成功!"])
        # The left pane was told to show the list before the message opened.
        self.assertEqual(s.calls(s.left, "navigate").count(("navigate", script)), 1)
        expected = list_file([("连连看大作战".encode("gbk"), (h.PORTAL + "/g4.htm").encode())])
        self.assertEqual(s.read_list("gamefavorites.xml"), expected)
        self.assertNotEqual(expected, empty)
        s.dismiss_message_boxes()
        s.click(cmd5)
        box, texts = h.wait_until(s.message_box, 10, what="the second message box")
        self.assertEqual(texts, ["游戏已经被收藏!"])
        self.assertEqual(s.read_list("gamefavorites.xml"), expected, "nothing is written twice")
        self.assertEqual(s.calls(s.left, "navigate").count(("navigate", script)), 1)
        s.dismiss_message_boxes()

    def test_5_selecting_a_tab_shows_its_pane_and_favourites_follow_it(self):
        s = self.s
        tab1 = s.tabs()[1][1]
        x0, y0, x1, y1 = rect(tab1)
        s.click({"rect": "%d,%d,%d,%d" % (x0, y0, x0 + 20, y1)})  # on the caption, away from the close button
        h.wait_until(lambda: self.host_visible() == {0: False, 1: True, 3: False, 4: False}, 5,
                     what="pane 1 alone visible")
        s.click(s.button(2520))
        box, texts = h.wait_until(s.message_box, 10, what="the message box")
        self.assertEqual(texts, ["游戏收藏成功!"])
        s.dismiss_message_boxes()
        self.assertIn(item(b"abc", (h.PORTAL + "/g1.htm").encode()) + b"\r\n</root>\r\n",
                      s.read_list("gamefavorites.xml"))

    def test_6_downloaded_games_button_records_the_current_tab_once(self):
        s = self.s
        script = "javascript:get_xml('gamelocal.xml','gamelocal');"
        cmd6 = s.button(4080)
        s.click(cmd6)
        box, texts = h.wait_until(s.message_box, 10, what="the first message box")
        self.assertEqual(texts, ["此游戏已经下载到本地,下次在玩的时候,无需加载."])
        self.assertEqual(s.calls(s.left, "navigate").count(("navigate", script)), 1)
        expected = list_file([(b"abc", (h.PORTAL + "/g1.htm").encode())])
        self.assertEqual(s.read_list("gamelocal.xml"), expected)
        s.dismiss_message_boxes()
        s.click(cmd6)
        box, texts = h.wait_until(s.message_box, 10, what="the second message box")
        self.assertEqual(texts, ["此游戏已经下载!"])
        self.assertEqual(s.read_list("gamelocal.xml"), expected)
        self.assertEqual(s.calls(s.left, "navigate").count(("navigate", script)), 1)
        s.dismiss_message_boxes()

    def test_7_a_shortened_caption_is_stored_as_it_is_shown(self):
        s = self.s
        tab3 = s.tabs()[2]
        self.assertEqual(tab3[0], "123456789012345...")
        x0, y0, x1, y1 = rect(tab3[1])
        s.click({"rect": "%d,%d,%d,%d" % (x0, y0, x0 + 20, y1)})
        h.wait_until(lambda: self.host_visible() == {0: False, 1: False, 3: True, 4: False}, 5,
                     what="pane 3 alone visible")
        s.click(s.button(2520))
        box, texts = h.wait_until(s.message_box, 10, what="the message box")
        self.assertEqual(texts, ["游戏收藏成功!"])
        s.dismiss_message_boxes()
        self.assertIn(item(b"123456789012345...", (h.PORTAL + "/g3.htm").encode()) + b"\r\n</root>\r\n",
                      s.read_list("gamefavorites.xml"))


    def test_8_a_screen_reader_names_the_controls_and_switches_tabs(self):
        s = self.s
        push_button, page_tab, slider, link = 43, 37, 51, 30
        selected, invisible = 0x2, 0x8000

        def shown(role):
            return [(r["name"], int(r["state"], 16) & selected, r["value"]) for r in s.accessible("tree")
                    if int(r["role"]) == role and not int(r["state"], 16) & invisible]

        buttons = [name for name, _, _ in shown(push_button)]
        for caption in ("隐藏列表", "刷新", "收藏本游戏", "下载本游戏", "隐藏窗口", "关闭", "向左", "向右"):
            self.assertIn(caption, buttons)
        self.assertEqual([(n, sel) for n, sel, _ in shown(page_tab)],
                         [(HOME_TAB, 0), ("abc", 0), ("123456789012345...", selected), ("连连看大作战", 0)])
        self.assertEqual([n for n, _, _ in shown(link)], ["检查更新", "软件官方网站", "提提意见"])
        [(name, _, value)] = shown(slider)
        self.assertTrue(value.isdigit() and 0 <= int(value) <= 100, value)
        # The default action of a tab does what a click does.
        self.assertEqual(s.accessible("do", "abc")[0]["result"], "0x00000000")
        h.wait_until(lambda: self.host_visible() == {0: False, 1: True, 3: False, 4: False}, 5,
                     what="pane 1 alone visible")
        self.assertEqual([n for n, sel, _ in shown(page_tab) if sel], ["abc"])


class LeftPaneAfterDeletion(unittest.TestCase):
    """Deletions through the command window reload the left page; its next completed document
    switches it to the changed sub-list once; its document's context menu is answered with false.
    The stand-in behaves as the engine does: a refresh completes no document, a page with frames
    completes each frame's document before its own."""

    @classmethod
    def setUpClass(cls):
        fav = [(b"fav%d" % i, b"http://127.0.0.1/f%d.htm" % i) for i in (1, 2, 3)]
        loc = [(b"loc%d" % i, b"http://127.0.0.1/l%d.htm" % i) for i in (1, 2, 3)]
        cls.s = Shell("main_window_left", favorites=fav, local=loc)
        cls.page = cls.s.left_page()
        h.wait_until(lambda: cls.s.completions(cls.s.left, cls.page) == 1, 10, what="the left page to load")

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def command(self, text):
        forms = h.probe("find", "FrmQorMess", "*")
        self.assertEqual(len(forms), 1)
        boxes = [c for c in h.probe("children", forms[0]["hwnd"]) if c["class"] == "ThunderRT6TextBox"]
        self.assertEqual(len(boxes), 1)
        h.probe("settext-ansi", boxes[0]["hwnd"], text)

    def scripts(self):
        return [d for w, d in self.s.calls(self.s.left, "navigate") if d.startswith("javascript:")]

    def loads(self):
        return self.s.calls(self.s.left, "navigate").count(("navigate", self.page))

    def test_a_a_deletion_reloads_the_page_whose_completion_switches_once(self):
        s = self.s
        loads, done = self.loads(), s.completions(s.left, self.page)
        self.command("qorzentro://sub4|0/")  # the first favourite
        h.wait_until(lambda: b"fav1" not in s.read_list("gamefavorites.xml"), what="the favourite deleted")
        h.wait_until(lambda: self.scripts() == ["javascript:turnit('sub4')"], 10, what="the switch to the favourites")
        # The page was navigated to again (a refresh would complete no document), and switched
        # once its own document had completed.
        self.assertEqual(self.loads(), loads + 1)
        self.assertEqual(s.calls(s.left, "refresh"), [])
        log = s.calls(s.left)
        self.assertLess(len(log) - log[::-1].index(("documentcomplete", self.page)),
                        len(log) - log[::-1].index(("navigate", "javascript:turnit('sub4')")))
        # The new document's context menu is answered too.
        s.cue(s.left, "contextmenu")
        self.assertEqual(s.calls(s.left, "contextmenu")[-1], ("contextmenu", "false"))
        # Later documents switch nothing: the page's own links, a content pane's page.
        s.cue(s.left, "load " + self.page)
        h.wait_until(lambda: s.completions(s.left, self.page) == done + 2, 10, what="the page to load again")
        s.cue(s.pane0, "complete")
        self.assertEqual(self.scripts(), ["javascript:turnit('sub4')"], "only once")

    def test_b_both_lists_changed_favourites_first_then_local_games(self):
        s = self.s
        s.cue(s.left, "stall")  # both commands arrive before the page completes
        self.command("qorzentro://sub3|0/")
        self.command("qorzentro://sub4|0/")
        h.wait_until(lambda: b"fav2" not in s.read_list("gamefavorites.xml"), what="the favourite deleted")
        h.wait_until(lambda: b"loc1" not in s.read_list("gamelocal.xml"), what="the local game deleted")
        before = self.scripts()
        done = s.completions(s.left, self.page)
        s.cue(s.left, "resume")
        h.wait_until(lambda: self.scripts()[len(before):] == ["javascript:turnit('sub4')"], 10,
                     what="the switch to the favourites")
        self.assertEqual(s.completions(s.left, self.page), done + 1, "the second load took the first's place")
        s.cue(s.left, "load " + self.page)
        h.wait_until(lambda: self.scripts()[len(before):] == ["javascript:turnit('sub4')", "javascript:turnit('sub3')"],
                     10, what="the switch to the local games")
        s.cue(s.left, "load " + self.page)
        h.wait_until(lambda: s.completions(s.left, self.page) == done + 3, 10, what="a third load")
        self.assertEqual(len(self.scripts()), len(before) + 2)

    def test_c_a_page_with_frames_switches_on_its_own_document_only(self):
        s = self.s
        s.cue(s.left, "frames 2")
        try:
            before = len(s.calls(s.left))
            self.command("qorzentro://sub3|0/")
            h.wait_until(lambda: ("navigate", "javascript:turnit('sub3')") in s.calls(s.left)[before:], 10,
                         what="the switch to the local games")
            log = s.calls(s.left)[before:]
            frames = [i for i, (w, _) in enumerate(log) if w == "framecomplete"]
            own = log.index(("documentcomplete", self.page))
            turn = log.index(("navigate", "javascript:turnit('sub3')"))
            self.assertEqual(len(frames), 2)
            self.assertLess(max(frames), own, "the frames complete first")
            self.assertGreater(turn, own, "switched by the page's own document, not a frame's")
        finally:
            s.cue(s.left, "frames 0")

    def test_d_left_document_context_menu_is_suppressed_content_panes_keep_theirs(self):
        s = self.s
        s.cue(s.left, "download")
        self.assertIn(("document", ""), s.calls(s.left))
        s.cue(s.left, "contextmenu")
        self.assertEqual(s.calls(s.left, "contextmenu")[-1], ("contextmenu", "false"))
        # A second download connects the document again; it still answers false, once.
        s.cue(s.left, "download")
        s.cue(s.left, "contextmenu")
        self.assertEqual(s.calls(s.left, "contextmenu")[-1], ("contextmenu", "false"))
        s.cue(s.pane0, "download")
        s.cue(s.pane0, "contextmenu")
        self.assertEqual(s.calls(s.pane0, "contextmenu")[-1], ("contextmenu", "nodocument"),
                         "the shell never asks a content pane for its document")

    def test_e_keys_that_would_take_the_list_page_away_are_kept_from_the_engine(self):
        s = self.s
        loads = self.loads()
        # F5: the shell reloads the page by navigating to it, so the reload completes a document.
        s.cue(s.left, "key 116")
        h.wait_until(lambda: ("accelerator", "refresh host") in s.calls(s.left), 5, what="F5 to reach the pane")
        h.wait_until(lambda: self.loads() == loads + 1, 5, what="the page to be navigated to again")
        for key, action in (("8", "back"), ("37 alt", "back"), ("39 alt", "forward"), ("78 ctrl", "newwindow"),
                            ("79 ctrl", "open"), ("76 ctrl", "open"), ("80 ctrl", "print")):
            s.cue(s.left, "key " + key)
            h.wait_until(lambda: s.calls(s.left, "accelerator")[-1:] == [("accelerator", action + " host")], 5,
                         what="key %s kept from the engine" % key)
        self.assertEqual(s.calls(s.left, "dialog"), [])
        self.assertEqual(s.calls(s.left, "refresh"), [])
        self.assertEqual(self.loads(), loads + 1, "the left pane stays on its page")

    def test_f_shut_down_takes_every_browser_down_in_order(self):
        s = self.s
        s.dismiss_message_boxes()
        h.probe("post", s.main["hwnd"], 0x0010, 0, 0)  # WM_CLOSE
        h.wait_until(lambda: s.proc.poll() is not None, 15, what="the shell to exit")
        for instance in (s.left, s.pane0):
            steps = [(w, d) for w, d in s.calls(instance)
                     if w in ("deactivate", "close", "clientsite", "release")]
            self.assertEqual(steps, [("clientsite", "set"), ("deactivate", ""), ("close", ""),
                                     ("clientsite", "null"), ("release", "")], "stand-in %d" % instance)


class ContentPanesAgainstTheEngine(unittest.TestCase):
    """What the engine would do by itself in a content pane: its script-error dialog, its own
    accelerators, and the question it asks before it starts the program of a link's scheme."""

    @classmethod
    def setUpClass(cls):
        cls.s = Shell("main_window_engine")
        opener = h.winpath(os.path.join(h.BIN, "twopen.exe"))
        # Links in the program's own scheme go to the test opener, which records what it was given.
        for args in (["/ve", "/d", "URL:qorzentro"], ["/v", "URL Protocol", "/d", ""]):
            h.run(["reg", "add", "HKCR\\qorzentro", "/f"] + args, timeout=60)
        h.run(["reg", "add", "HKCR\\qorzentro\\shell\\open\\command", "/f", "/ve", "/d",
               '"%s" "%%1"' % opener], timeout=60)

    @classmethod
    def tearDownClass(cls):
        try:
            cls.s.close()
        finally:
            h.run(["reg", "delete", "HKCR\\qorzentro", "/f"], timeout=60)

    def test_1_a_script_error_shows_no_dialog_and_scripts_go_on(self):
        s = self.s
        for b in (s.pane0, s.left):
            s.cue(b, "scripterror")
            self.assertEqual(s.calls(b, "scripterror")[-1:], [("scripterror", "handled continue=1")], "stand-in %d" % b)
            self.assertEqual(s.calls(b, "dialog"), [], "stand-in %d" % b)

    def test_2_own_scheme_links_go_to_the_system_shell_unasked_and_unchanged(self):
        s = self.s
        h.clear_opened_log()
        links = {s.pane0: "qorzentro://sub4|0/", s.left: "QORZENTRO://SUB3|1/"}
        for b, link in links.items():
            s.cue(b, "load " + link)
            self.assertEqual(s.calls(b, "cancelled")[-1:], [("cancelled", link)], "stand-in %d" % b)
        h.wait_until(lambda: len(h.opened_log()) == 2, 10, what="both links to be opened")
        self.assertEqual(sorted(l.split("\t", 1)[1] for l in h.opened_log()), sorted(links.values()))
        for b in links:
            self.assertEqual(s.calls(b, "dialog"), [], "nobody is asked (stand-in %d)" % b)
        # Other links load in the pane as before.
        page = h.PORTAL + "/g9.htm"
        s.cue(s.pane0, "load " + page)
        h.wait_until(lambda: s.completions(s.pane0, page) == 1, 10, what="the portal page to load")

    def test_3_keys_that_would_leave_the_shell_are_kept_game_keys_are_not(self):
        s = self.s
        tabs = len(s.tabs())
        dialogs = len(s.calls(s.pane0, "dialog"))
        for key, action, who in (("78 ctrl", "newwindow", "host"), ("79 ctrl", "open", "host"),
                                 ("76 ctrl", "open", "host"), ("116", "refresh", "engine"),
                                 ("8", "back", "engine"), ("80 ctrl", "print", "engine")):
            s.cue(s.pane0, "key " + key)
            h.wait_until(lambda: s.calls(s.pane0, "accelerator")[-1:] == [("accelerator", action + " " + who)], 5,
                         what="key %s (%s)" % (key, who))
        # No window of the engine's own and no open-address dialog; printing stays the player's.
        self.assertEqual(s.calls(s.pane0, "dialog")[dialogs:], [("dialog", "print")])
        self.assertEqual(len(s.tabs()), tabs)
        h.wait_until(lambda: s.calls(s.pane0, "refreshed"), 5, what="the game page's refresh")

    def test_4_an_engine_raising_both_new_window_events_makes_one_tab(self):
        s = self.s
        tabs = len(s.tabs())
        url = h.PORTAL + "/both.htm"
        made = s.new_window(s.pane0, url, "newwindow2")
        self.assertEqual(s.calls(s.pane0, "newwindow2")[-1:], [("newwindow2", "handed=1 cancel=0")])
        self.assertEqual(s.calls(s.pane0, "newwindow")[-1:], [("newwindow", "handed=1 cancel=0")])
        self.assertEqual(s.calls(made, "registerasbrowser"), [("registerasbrowser", "true")])
        h.wait_until(lambda: len(s.tabs()) == tabs + 1, 5, what="one tab for the window")
        # The next window is a window of its own again.
        s.new_window(s.pane0, h.PORTAL + "/next.htm")
        h.wait_until(lambda: len(s.tabs()) == tabs + 2, 5, what="one tab for the next window")

    def test_5_own_scheme_links_of_foreign_frames_are_left_to_the_engine(self):
        s = self.s
        h.clear_opened_log()
        link = "qorzentro://sub4|0/"
        cancelled = len(s.calls(s.pane0, "cancelled"))
        # A frame of another origin (an advert) inside the portal page: the engine asks the player.
        s.cue(s.pane0, "frameload http://127.0.0.1:1/ad.htm " + link)
        self.assertEqual(s.calls(s.pane0, "dialog")[-1:], [("dialog", "protocol " + link)])
        self.assertEqual(len(s.calls(s.pane0, "cancelled")), cancelled, "the shell left it to the engine")
        # A frame of the portal's own origin is a page of ours: the shell opens its link unasked.
        dialogs = len(s.calls(s.pane0, "dialog"))
        s.cue(s.pane0, "frameload %s/frame.htm %s" % (h.PORTAL.upper(), link))
        self.assertEqual(s.calls(s.pane0, "cancelled")[-1:], [("cancelled", link)])
        self.assertEqual(len(s.calls(s.pane0, "dialog")), dialogs)
        h.wait_until(lambda: len(h.opened_log()) == 2, 10, what="both links to be opened")

    def test_6_script_errors_offer_no_debugger_whatever_the_users_settings(self):
        s = self.s
        key = "HKCU\\Software\\Microsoft\\Internet Explorer\\Main"
        names = ("Disable Script Debugger", "DisableScriptDebuggerIE")

        def users():
            out = h.run(["reg", "query", key], timeout=60).stdout.decode("utf-8", "replace")
            return {n: l.split()[-1] for l in out.splitlines() for n in names if l.strip().startswith(n + " ")}

        # The user turned script debugging on (as developer tools do).
        for n in names:
            h.run(["reg", "add", key, "/v", n, "/d", "no", "/f"], timeout=60)
        try:
            for b in (s.pane0, s.left):
                dialogs = len(s.calls(b, "dialog"))
                s.cue(b, "scripterror")
                self.assertEqual(s.calls(b, "dialog")[dialogs:], [], "stand-in %d" % b)
                self.assertEqual(s.calls(b, "scripterror")[-1:], [("scripterror", "handled continue=1")])
            self.assertEqual(users(), {n: "no" for n in names}, "the user's own settings are kept")
        finally:
            for n in names:
                h.run(["reg", "delete", key, "/v", n, "/f"], timeout=60)


class LayoutAndLeftColumn(unittest.TestCase):
    """Sizes and places of the children after real resizes, and the left column's toggles."""

    @classmethod
    def setUpClass(cls):
        dpi = h.probe("screen")[0]["dpi"]
        if dpi != "96":
            raise unittest.SkipTest("the expected places are worked out at 96 dpi, the display has %s" % dpi)
        cls.s = Shell("main_window_layout")
        cls.pane1 = cls.s.new_window(cls.s.pane0, h.PORTAL + "/g1.htm")
        p = cls.s.parts()
        for name in ("LeftPanel", "HideBar", "TopBar", "LintraTab1", "webPanel", "StatuBar"):
            assert name in p, "the main window has no %s" % name
        # At start Cmd_2 and HideB are shown, Cmd_3 and Hidea hidden.
        cls.cmd2 = cls.s.button(120, visible=True)
        cls.cmd3 = cls.s.button(120, visible=False)
        toggles = p["kids"][p["HideBar"]["hwnd"]]
        cls.hideB = [t for t in toggles if t["visible"] == "1"]
        cls.hidea = [t for t in toggles if t["visible"] == "0"]
        assert len(cls.hideB) == 1 and len(cls.hidea) == 1, toggles
        cls.hideB, cls.hidea = cls.hideB[0], cls.hidea[0]

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def resize(self, w, hgt):
        m = self.s.main["hwnd"]
        x0, y0, _, _ = rect(self.s.info(m))
        self.assertEqual(h.probe("move", m, x0, y0, w, hgt)[0]["ok"], "1")
        r = self.s.info(m)
        x0, y0, x1, y1 = rect(r)
        return x1 - x0, y1 - y0

    def expected(self, W, H, hidden):
        """What the layout gives for an outer size of W x H twips, in pixels relative to each parent."""
        e = {
            "LeftPanel": (0, 0, 2625, H - 800),
            "TopBar": (2760, 0, W - 2850, 495),
            "LintraTab1": (2760, 540, W - 2850, 375),
            "webPanel": (2760, 960, W - 2760, H - 1780),
            "HideBar": (2640, -120, 135, H - 800),
            "StatuBar": (0, H - 720, 15615, 435),
        }
        if hidden:
            for name in ("TopBar", "LintraTab1", "webPanel"):
                l, t, w, hh = e[name]
                e[name] = (135 + 60, t, W - 120 - 135, hh)
            l, t, w, hh = e["HideBar"]
            e["HideBar"] = (0, t, w, hh)
        toggle_top = (H - 800) // 3
        pane = (0, 0, e["webPanel"][2] - 180, e["webPanel"][3])
        return e, toggle_top, pane

    def check_layout(self, hidden):
        s = self.s
        m = s.info(s.main["hwnd"])
        x0, y0, x1, y1 = rect(m)
        W, H = (x1 - x0) * 15, (y1 - y0) * 15
        cx, cy = s.client_origin()
        e, toggle_top, pane = self.expected(W, H, hidden)
        p = s.parts()
        for name, (l, t, w, hh) in e.items():
            if name == "LeftPanel" and hidden:
                continue
            want = (cx + px(l), cy + px(t), cx + px(l) + px(w), cy + px(t) + px(hh))
            self.assertEqual(rect(p[name]), want, name)
        self.assertEqual(p["LeftPanel"]["visible"] == "1", not hidden)
        hb = rect(p["HideBar"])
        for toggle in p["kids"][p["HideBar"]["hwnd"]]:
            self.assertEqual(rect(toggle)[1], hb[1] + px(toggle_top), "Hidea/HideB top")
        wp = rect(p["webPanel"])
        hosts = [c for c in p["kids"][p["webPanel"]["hwnd"]] if c["class"] == "TwAxHost"]
        self.assertEqual(len(hosts), 2)
        for host in hosts:
            self.assertEqual(rect(host), (wp[0], wp[1], wp[0] + px(pane[2]), wp[1] + px(pane[3])), "content pane")
            # The stand-in's own window follows its container.
            views = [v for v in p["kids"].get(host["hwnd"], []) if v["class"] == "TwStandinView"]
            self.assertEqual([rect(v) for v in views], [rect(host)])
        # The left browser overhangs its container by 30 twips at the top left.
        lp = rect(p["LeftPanel"])
        left_host = rect(p["by_hwnd"][str(s.host(s.left))])
        self.assertEqual(left_host, (lp[0] + px(-30), lp[1] + px(-30), lp[0] + px(-30) + px(2750),
                                     lp[1] + px(-30) + px(H - 755)))
        return W, H

    def test_1_resizes_lay_out_the_children(self):
        self.assertEqual(self.resize(800, 533), (800, 533))
        W, H = self.check_layout(hidden=False)
        self.assertEqual((W, H), (12000, 7995))
        # The worked sizes at this window, written out: content area 9240 wide and H - 1780 high.
        p = self.s.parts()
        self.assertEqual(rect(p["webPanel"])[2] - rect(p["webPanel"])[0], px(9240))
        self.assertEqual(rect(p["TopBar"])[2] - rect(p["TopBar"])[0], px(9150))
        self.assertEqual(self.resize(1000, 700), (1000, 700))
        self.check_layout(hidden=False)

    def test_2_never_smaller_than_the_minimum(self):
        # 3460 x 1780 twips, rounded up to whole pixels: read back in twips never below it.
        w, hgt = self.resize(60, 40)
        self.assertEqual((w, hgt), (-(-3460 * 96 // 1440), -(-1780 * 96 // 1440)))
        p = self.s.parts()
        for name in ("TopBar", "LintraTab1", "webPanel", "HideBar", "LeftPanel"):
            x0, y0, x1, y1 = rect(p[name])
            self.assertGreaterEqual(x1 - x0, 0, name)
            self.assertGreaterEqual(y1 - y0, 0, name)
        self.resize(800, 533)

    def test_3_minimised_changes_nothing_and_restoring_lays_out_again(self):
        s = self.s
        self.resize(800, 533)
        before = {n: rect(r) for n, r in s.parts().items() if isinstance(r, dict) and "rect" in r}
        h.probe("send", s.main["hwnd"], WM_SYSCOMMAND, SC_MINIMIZE, 0)
        h.wait_until(lambda: s.info(s.main["hwnd"])["iconic"] == "1", 5, what="minimised")
        p = s.parts()
        for name in ("LeftPanel", "TopBar", "LintraTab1", "webPanel", "HideBar", "StatuBar"):
            # Positions relative to the (moved) client origin stay as they were.
            self.assertEqual(rect(p[name])[2] - rect(p[name])[0], before[name][2] - before[name][0], name)
            self.assertEqual(rect(p[name])[3] - rect(p[name])[1], before[name][3] - before[name][1], name)
        h.probe("send", s.main["hwnd"], WM_SYSCOMMAND, SC_RESTORE, 0)
        h.wait_until(lambda: s.info(s.main["hwnd"])["iconic"] == "0", 5, what="restored")
        self.check_layout(hidden=False)

    def test_4_left_column_hides_and_shows_by_buttons_and_handles(self):
        s = self.s
        self.resize(800, 533)

        def state():
            return {"Cmd_2": s.visible(self.cmd2["hwnd"]), "Cmd_3": s.visible(self.cmd3["hwnd"]),
                    "HideB": s.visible(self.hideB["hwnd"]), "Hidea": s.visible(self.hidea["hwnd"])}

        shown = {"Cmd_2": True, "Cmd_3": False, "HideB": True, "Hidea": False}
        hidden = {"Cmd_2": False, "Cmd_3": True, "HideB": False, "Hidea": True}
        self.assertEqual(state(), shown)
        s.click(self.cmd2)
        h.wait_until(lambda: state() == hidden, 5, what="the left column to hide (Cmd_2)")
        self.check_layout(hidden=True)
        self.assertEqual(rect(s.parts()["webPanel"])[2] - rect(s.parts()["webPanel"])[0], px(11745))
        s.click(s.info(self.hidea["hwnd"]))
        h.wait_until(lambda: state() == shown, 5, what="the left column to show (Hidea)")
        self.check_layout(hidden=False)
        s.click(s.info(self.hideB["hwnd"]))
        h.wait_until(lambda: state() == hidden, 5, what="the left column to hide (HideB)")
        self.check_layout(hidden=True)
        # A resize while hidden keeps it hidden.
        self.resize(900, 600)
        self.check_layout(hidden=True)
        s.click(s.info(self.cmd3["hwnd"]))
        h.wait_until(lambda: state() == shown, 5, what="the left column to show (Cmd_3)")
        self.check_layout(hidden=False)

    def test_5_the_hide_button_hides_the_window(self):
        s = self.s
        s.click(s.button(8400))  # Cmd_1
        h.wait_until(lambda: not s.visible(s.main["hwnd"]), 5, what="the window to hide")
        self.assertIsNone(s.proc.poll(), "hidden, not closed")
        h.probe("post", s.main["hwnd"], 0x8001, 1, 0x203)  # the tray icon's double-click shows it again
        h.wait_until(lambda: s.visible(s.main["hwnd"]), 5, what="the window to come back")

    def test_6_a_dpi_change_rescales_the_window_and_tells_every_pane_its_zoom(self):
        s, m = self.s, self.s.main["hwnd"]
        self.resize(800, 533)
        panes = (s.left, s.pane0, self.pane1)

        def client():
            cx0, cy0, cx1, cy1 = (int(v) for v in s.info(m)["client"].split(","))
            return cx1 - cx0, cy1 - cy0

        def caption():
            return int(s.info(m)["client"].split(",")[1]) - rect(s.info(m))[1]

        def change(dpi, zoom):
            x0, y0, x1, y1 = rect(s.info(m))
            self.assertEqual(h.probe("dpichange", m, dpi, 40, 30, x1 - x0, y1 - y0)[0]["ok"], "1")
            h.wait_until(lambda: all(s.calls(n, "zoom")[-1:] == [("zoom", str(zoom))] for n in panes), 10,
                         what="every pane to be told %d %%" % zoom)
            self.assertEqual(rect(s.info(m))[:2], (40, 30), "the window takes its place on the new monitor")

        def scaled(v, num, den):  # MulDiv: nearest, halves away from zero
            return (2 * v * num + den) // (2 * den)

        size, band = client(), caption()
        self.assertEqual([s.calls(n, "zoom") for n in panes], [[], [], []], "nothing told at the system's scale")
        change(120, 125)
        self.assertEqual(client(), (scaled(size[0], 120, 96), scaled(size[1], 120, 96)))
        self.assertGreater(caption(), band, "the frame follows")
        cmd1 = s.toolbar_buttons().get((8400 * 120 + 720) // 1440)
        self.assertTrue(cmd1, "Cmd_1 at its place at 120 dpi")
        self.assertEqual(rect(cmd1[0])[2] - rect(cmd1[0])[0], (1680 * 120 + 720) // 1440)
        change(96, 100)
        self.assertEqual((client(), caption()), (size, band))
        self.check_layout(hidden=False)


if __name__ == "__main__":
    unittest.main()
