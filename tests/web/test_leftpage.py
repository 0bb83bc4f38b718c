"""The left pane's page (data/leftview/leftbak.html) in headless Chromium against real list files:
both lists drawn from their XML files (GBK with Chinese titles included), delete links in the
program's own scheme, page text shown as text, turnit() switching the sub-lists whether the shell
calls it before or after the page's load handler, and delete links that wait for the list to be
drawn again, but not for ever, and then act on the file as it is. Every case runs under the
embedded engine's profile (engine_profile.js, put before the page's scripts: no file access for
XMLHttpRequest, none of the later built-ins the engine lacks, and timers on a clock the test
advances); the lists are drawn once more in plain Chromium, which has no ActiveX. Every script of
the page parses as ECMAScript 5 (acorn, an npm package) and names no later built-in: Chromium runs
later scripts that the engine rejects."""
import base64
import json
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse
from html.parser import HTMLParser

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.dirname(os.path.dirname(HERE))
PAGE = os.path.join(SRC, "data", "leftview", "leftbak.html")
PROFILE = os.path.join(HERE, "engine_profile.js")
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
NODE = shutil.which("node")
ES5_CHECK = os.path.join(HERE, "es5_check.js")
PARSER = os.path.join(SRC, "build", "node")  # acorn in node_modules there (install_parser.sh)

DECL = '<?xml version="1.0" encoding="gb2312"?>'


def item(title, url):
    return "<item><txt>%s</txt><url><![CDATA[%s]]></url></item>" % (title, url)


def list_bytes(items):
    return ("\r\n".join([DECL, "<root>"] + items + ["</root>"]) + "\r\n").encode("gb2312")


def write_list(folder, name, items):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(list_bytes(items))


# Run after the page's load handler. del(title) clicks the delete link of the entry with that title;
# the page's own handler decides, the probe records and follows no link. Time passes only through
# engineClock.advance (engine_profile.js), so each click happens at a known instant of the page's clock.
PROBE = """<script>
var clicks = [];
document.addEventListener("click", function (e) {
  var href = e.target.getAttribute("href");
  clicks.push(e.defaultPrevented ? "ignored" : "sent " + href.replace(/^qorzentro:\\/\\/|\\/$/g, ""));
  e.preventDefault();
});
function del(title) {
  var links = document.getElementsByTagName("a");
  for (var i = 0; i < links.length; i++) {
    if (links[i].className == "del" && links[i].parentNode.textContent.indexOf(title) >= 0) return links[i].click();
  }
  clicks.push("no " + title);
}
function probe() {
%s
  document.body.setAttribute("data-clicks", clicks.join(","));
}
</script></body>"""


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

    def dom(self, page="leftbak.html"):
        if self.engine:
            page = self.engine_copy(page)
            access = []
        else:
            access = ["--allow-file-access-from-files"]
        r = subprocess.run(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + self.profile] + access + ["--dump-dom", "file://" + os.path.join(self.dir, page)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=90)
        dom = r.stdout.decode("utf-8")
        if self.engine:
            self.assertIn('data-activex-detectable="false"', dom)
        return dom

    def probed(self, steps):
        """The page with steps run right after its load handler. Returns the delete clicks in order,
        each as the page took it: "sent sub4|1" (the command the link holds) or "ignored"."""
        with open(os.path.join(self.dir, "leftbak.html"), encoding="utf-8") as f:
            page = f.read()
        with open(os.path.join(self.dir, "probed.html"), "w", encoding="utf-8") as f:
            f.write(page.replace('onload="init()"', 'onload="init(); probe()"').replace("</body>", PROBE % steps))
        m = re.search(r'<body[^>]*data-clicks="([^"]*)"', self.dom("probed.html"))
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

    def test_the_sub_list_the_shell_asks_for_wins_before_or_after_the_load_handler(self):
        # After a relayed deletion the shell runs turnit once the document has completed; whether
        # the engine runs the page's load handler before or after that is not documented.
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a")])
        write_list(self.dir, "gamelocal.xml", [item("B", "http://127.0.0.1/b")])
        with open(os.path.join(self.dir, "leftbak.html"), encoding="utf-8") as f:
            page = f.read()
        for order, switched in (("after", page.replace('onload="init()"', "onload=\"init(); turnit('sub3')\"")),
                                ("before", page.replace("</body>", "<script>turnit('sub3')</script></body>"))):
            with self.subTest(order):
                with open(os.path.join(self.dir, "switched.html"), "w", encoding="utf-8") as f:
                    f.write(switched)
                dom = self.dom("switched.html")
                self.assertRegex(self.block(dom, "gamefavorites"), r'^<div[^>]*style="display: none;"')
                self.assertRegex(self.block(dom, "gamelocal"), r'^<div[^>]*style="display: block;"')
                self.assertIn('id="head_sub3" class="head on"', dom)
                self.assertIn('data-count="1"', self.block(dom, "gamelocal"))

    def test_further_delete_clicks_are_ignored_until_the_list_is_redrawn(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a"), item("B", "http://127.0.0.1/b")])
        write_list(self.dir, "gamelocal.xml", [item("C", "http://127.0.0.1/c")])
        clicks = self.probed("""del("A"); del("A"); del("B"); del("C");
  get_xml("gamefavorites.xml", "gamefavorites");
  del("B");""")
        self.assertEqual(clicks, "sent sub4|0,ignored,ignored,sent sub3|0,sent sub4|1")

    def test_delete_links_take_clicks_again_five_seconds_after_a_command_that_never_arrived(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a"), item("B", "http://127.0.0.1/b")])
        write_list(self.dir, "gamelocal.xml", [])
        # 4999 ms after the sent click the links still wait, at 5000 ms they take one click again. A
        # redraw ends the wait and its timer: the next click waits its own 5000 ms, not the rest of
        # the earlier one (which would end at 10000 ms).
        clicks = self.probed("""del("A");
  engineClock.advance(4999); del("B");
  engineClock.advance(1); del("B"); del("A");
  engineClock.advance(3000); get_xml("gamefavorites.xml", "gamefavorites"); del("A");
  engineClock.advance(2000); del("B");
  engineClock.advance(3000); del("B");""")
        self.assertEqual(clicks, "sent sub4|0,ignored,sent sub4|1,ignored,sent sub4|0,ignored,sent sub4|1")

    def test_after_a_late_command_the_next_delete_sends_the_number_of_the_file_as_it_is(self):
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a"), item("B", "http://127.0.0.1/b"),
                                                   item("C", "http://127.0.0.1/c")])
        write_list(self.dir, "gamelocal.xml", [])
        # The command for A arrives late: the shell deleted A from the file but the page was not
        # told. When the links take clicks again, C is entry 1 of the file, no longer 2.
        later = base64.b64encode(list_bytes([item("B", "http://127.0.0.1/b"), item("C", "http://127.0.0.1/c")]))
        key = pathlib.Path(self.dir, "gamefavorites.xml").as_uri()
        clicks = self.probed("""del("A");
  engineFiles[%s] = "%s";
  engineClock.advance(4999); del("C");
  engineClock.advance(1); del("C");""" % (json.dumps(key), later.decode("ascii")))
        self.assertEqual(clicks, "sent sub4|0,ignored,sent sub4|1")


class Scripts(HTMLParser):
    """The scripts of a page: script elements (padded so that lines count as in the page), event
    handler attributes and javascript: links."""

    def __init__(self, where, elements=True):
        super().__init__()
        self.where, self.elements, self.found, self.open = where, elements, [], None

    def handle_starttag(self, tag, attrs):
        line = self.getpos()[0]
        for name, value in attrs:
            if name.startswith("on") and value:
                self.found.append({"where": "%s:%d <%s %s>" % (self.where, line, tag, name), "code": value, "handler": True})
            elif name == "href" and value and value.lower().startswith("javascript:"):
                self.found.append({"where": "%s:%d <%s href>" % (self.where, line, tag),
                                   "code": urllib.parse.unquote(value[len("javascript:"):])})
        if tag == "script" and self.elements:
            self.open = {"where": self.where, "code": "\n" * (line - 1)}

    def handle_data(self, data):
        if self.open:
            self.open["code"] += data

    def handle_endtag(self, tag):
        if tag == "script" and self.open:
            self.found.append(self.open)
            self.open = None


def parser_folder():
    subprocess.run(["bash", os.path.join(HERE, "install_parser.sh")], check=True, timeout=300)
    return PARSER


@unittest.skipUnless(NODE and CHROMIUM, "node or chromium is not installed")
class DialectTest(Page, unittest.TestCase):
    def findings(self, page, drawn=""):
        """What the engine would reject in the page's scripts, and in the handlers and links of the
        page as drawn (the delete links' handlers are written by the page's script)."""
        scripts = Scripts("leftbak.html")
        scripts.feed(page)
        handlers = Scripts("drawn page", elements=False)
        handlers.feed(drawn)
        r = subprocess.run([NODE, ES5_CHECK, parser_folder()], input=json.dumps(scripts.found + handlers.found).encode(),
                           stdout=subprocess.PIPE, check=True, timeout=60)
        return r.stdout.decode().splitlines()

    def test_every_script_of_the_page_is_ecmascript_5_without_later_built_ins(self):
        with open(PAGE, encoding="utf-8") as f:
            page = f.read()
        for later in ("var f = () => 1;", "for (let i = 0; i < 2; i++) {}", "var s = `x`;", "function g(a, b = 1) {}",
                      "var p = 'ab'.startsWith('a');", "var q = window.fetch;", "Object.assign({}, {});"):
            with self.subTest(later):
                self.assertTrue(self.findings(page.replace("</script>", later + "\n</script>", 1)))
        write_list(self.dir, "gamefavorites.xml", [item("A", "http://127.0.0.1/a")])
        write_list(self.dir, "gamelocal.xml", [item("B", "http://127.0.0.1/b")])
        drawn = self.dom()
        self.assertIn("del_click(", drawn)
        self.assertEqual(self.findings(page, drawn), [])


@unittest.skipUnless(CHROMIUM, "chromium is not installed")
class PlainChromiumTest(Page, unittest.TestCase):
    """Where there is no ActiveX the page reads its lists with XMLHttpRequest."""
    engine = False

    def test_both_lists_with_chinese_titles_and_delete_links(self):
        self.check_both_lists()


if __name__ == "__main__":
    unittest.main()
