"""The left pane's page (data/leftview/leftbak.html) in headless Chromium against real list files:
both lists drawn from their XML files (GBK with Chinese titles included), delete links in the
program's own scheme, page text shown as text, turnit() switching the sub-lists, and delete links
that wait for the list to be drawn again, but not for ever. Every case runs under the embedded
engine's profile (engine_profile.js, put before the page's scripts, and no file access for
XMLHttpRequest); the lists are drawn once more in plain Chromium, which has no ActiveX."""
import base64
import json
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.dirname(os.path.dirname(HERE))
PAGE = os.path.join(SRC, "data", "leftview", "leftbak.html")
PROFILE = os.path.join(HERE, "engine_profile.js")
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")

DECL = '<?xml version="1.0" encoding="gb2312"?>'


def item(title, url):
    return "<item><txt>%s</txt><url><![CDATA[%s]]></url></item>" % (title, url)


def write_list(folder, name, items):
    lines = [DECL, "<root>"] + items + ["</root>"]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("gb2312"))


class Page:
    engine = True

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="leftpage")
        shutil.copy(PAGE, self.dir)
        self.profile = tempfile.mkdtemp(prefix="chromium-profile")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        shutil.rmtree(self.profile, ignore_errors=True)

    def engine_copy(self, page):
        """The page with the engine's profile before its first script, the list files' bytes
        (as they are now) handed to the profile's XML document object."""
        files = {}
        for name in os.listdir(self.dir):
            if name.endswith(".xml"):
                with open(os.path.join(self.dir, name), "rb") as f:
                    files[pathlib.Path(self.dir, name).as_uri()] = base64.b64encode(f.read()).decode("ascii")
        with open(PROFILE, encoding="utf-8") as f:
            profile = f.read().replace("/*LIST_FILES*/{}", json.dumps(files))
        with open(os.path.join(self.dir, page), encoding="utf-8") as f:
            html = f.read()
        at = html.index("<script")
        with open(os.path.join(self.dir, "engine-" + page), "w", encoding="utf-8") as f:
            f.write(html[:at] + "<script>\n" + profile + "</script>\n" + html[at:])
        return "engine-" + page

    def dom(self, page="leftbak.html", budget=3000):
        if self.engine:
            page = self.engine_copy(page)
            access = []
        else:
            access = ["--allow-file-access-from-files"]
        r = subprocess.run(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + self.profile] + access + ["--virtual-time-budget=%d" % budget,
             "--dump-dom", "file://" + os.path.join(self.dir, page)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=90)
        dom = r.stdout.decode("utf-8")
        if self.engine:
            self.assertIn('data-activex-detectable="false"', dom)
        return dom

    def clicks(self, dom):
        m = re.search(r'<body[^>]*data-clicks="([^"]*)"', dom)
        self.assertIsNotNone(m, "the probe did not run")
        return m.group(1)

    def check_both_lists(self):
        write_list(self.dir, "gamefavorites.xml", [item("连连看", "http://127.0.0.1:18473/games/lianliankan.htm"),
                                                   item("俄罗斯方块", "http://127.0.0.1:18473/games/tetris.htm")])
        write_list(self.dir, "gamelocal.xml", [item("贪吃蛇", "http://127.0.0.1:18473/games/snake.htm")])
        dom = self.dom()
        fav = self.block(dom, "gamefavorites")
        local = self.block(dom, "gamelocal")
        self.assertIn('data-count="2"', fav)
        self.assertIn(">连连看</a>", fav)
        self.assertIn(">俄罗斯方块</a>", fav)
        self.assertIn('href="qorzentro://sub4|0/"', fav)
        self.assertIn('href="qorzentro://sub4|1/"', fav)
        self.assertIn('data-count="1"', local)
        self.assertIn('href="qorzentro://sub3|0/"', local)
        self.assertIn('target="_blank" href="http://127.0.0.1:18473/games/snake.htm"', local)
        # The favourites are shown first, the local games folded.
        self.assertRegex(dom, r'<div id="gamelocal"[^>]*style="display: none;"')

    def block(self, dom, element_id):
        m = re.search(r'<div id="%s"[^>]*>(.*?)</div>' % element_id, dom, re.S)
        self.assertIsNotNone(m, "no element %s" % element_id)
        return m.group(0)


@unittest.skipUnless(CHROMIUM, "chromium is not installed")
class LeftPageTest(Page, unittest.TestCase):
    def test_both_lists_with_chinese_titles_and_delete_links(self):
        self.check_both_lists()

    def test_empty_lists_and_a_missing_file_show_the_empty_note(self):
        write_list(self.dir, "gamefavorites.xml", [])
        dom = self.dom()  # gamelocal.xml does not exist
        self.assertIn('data-count="0"', self.block(dom, "gamefavorites"))
        self.assertIn('data-count="0"', self.block(dom, "gamelocal"))
        self.assertIn("暂无游戏", dom)

    def test_page_text_is_shown_as_text_and_only_web_addresses_become_links(self):
        write_list(self.dir, "gamefavorites.xml", [item("&lt;b&gt;Bold&lt;/b&gt; &amp; co", "javascript:alert(1)"),
                                                   item("Plain", "http://127.0.0.1:18473/x.htm")])
        write_list(self.dir, "gamelocal.xml", [])
        fav = self.block(self.dom(), "gamefavorites")
        self.assertIn("&lt;b&gt;Bold&lt;/b&gt; &amp; co", fav)
        self.assertNotIn("<b>", fav)
        self.assertNotIn("javascript:alert", fav)
        self.assertIn('href="http://127.0.0.1:18473/x.htm"', fav)

    def test_turnit_switches_to_the_named_sub_list(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a")])
        write_list(self.dir, "gamelocal.xml", [item("B", "http://127.0.0.1/b")])
        with open(os.path.join(self.dir, "leftbak.html"), encoding="utf-8") as f:
            page = f.read()
        with open(os.path.join(self.dir, "switched.html"), "w", encoding="utf-8") as f:
            f.write(page.replace('onload="init()"', "onload=\"init(); turnit('sub3')\""))
        dom = self.dom("switched.html")
        self.assertRegex(dom, r'<div id="gamefavorites"[^>]*style="display: none;"')
        self.assertRegex(dom, r'<div id="gamelocal"[^>]*style="display: block;"')
        self.assertIn('id="head_sub3" class="head on"', dom)

    def test_further_delete_clicks_are_ignored_until_the_list_is_redrawn(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a"), item("B", "http://127.0.0.1/b")])
        write_list(self.dir, "gamelocal.xml", [item("C", "http://127.0.0.1/c")])
        # Each click is recorded as sent or ignored by the page; the probe itself follows no link.
        probe = """<script>function probe() {
  var r = [];
  document.addEventListener("click", function (e) { r.push(e.defaultPrevented ? "ignored" : "sent"); e.preventDefault(); });
  function del(box, n) { document.querySelectorAll("#" + box + " a.del")[n].click(); }
  del("gamefavorites", 0); del("gamefavorites", 0); del("gamefavorites", 1); del("gamelocal", 0);
  get_xml("gamefavorites.xml", "gamefavorites");
  del("gamefavorites", 1);
  document.body.setAttribute("data-clicks", r.join(","));
}</script></body>"""
        with open(os.path.join(self.dir, "leftbak.html"), encoding="utf-8") as f:
            page = f.read()
        with open(os.path.join(self.dir, "probed.html"), "w", encoding="utf-8") as f:
            f.write(page.replace('onload="init()"', 'onload="init(); probe()"').replace("</body>", probe))
        self.assertEqual(self.clicks(self.dom("probed.html")), "sent,ignored,ignored,sent,sent")

    def test_delete_links_take_clicks_again_five_seconds_after_a_command_that_never_arrived(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a"), item("B", "http://127.0.0.1/b")])
        write_list(self.dir, "gamelocal.xml", [])
        # The page's timers run on Chromium's virtual clock: 4999 ms after the sent click the links
        # still wait; at 5000 ms the next click is sent, and the one after it waits again.
        probe = """<script>function probe() {
  var r = [];
  document.addEventListener("click", function (e) { r.push(e.defaultPrevented ? "ignored" : "sent"); e.preventDefault(); });
  function del(n) { document.querySelectorAll("#gamefavorites a.del")[n].click(); }
  function note() { document.body.setAttribute("data-clicks", r.join(",")); }
  del(0);
  setTimeout(function () { del(1); note(); }, 4999);
  setTimeout(function () { del(1); del(0); note(); }, 5000);
}</script></body>"""
        with open(os.path.join(self.dir, "leftbak.html"), encoding="utf-8") as f:
            page = f.read()
        with open(os.path.join(self.dir, "probed.html"), "w", encoding="utf-8") as f:
            f.write(page.replace('onload="init()"', 'onload="init(); probe()"').replace("</body>", probe))
        self.assertEqual(self.clicks(self.dom("probed.html", budget=8000)), "sent,ignored,sent,ignored")


@unittest.skipUnless(CHROMIUM, "chromium is not installed")
class PlainChromiumTest(Page, unittest.TestCase):
    """Where there is no ActiveX the page reads its lists with XMLHttpRequest."""
    engine = False

    def test_both_lists_with_chinese_titles_and_delete_links(self):
        self.check_both_lists()


if __name__ == "__main__":
    unittest.main()
