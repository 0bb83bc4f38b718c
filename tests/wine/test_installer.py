"""The installer package under Wine: `msiexec /i /qn` installs per user, without elevation, the
programs and the data into the user's local Programs\\Tarnwick folder, registers the component
library under the user's classes (its ProgIDs create objects, its type
library loads, and the rows equal what the library's own self-registration writes), registers
Brask.exe for qorzentro: links (a link opened through the system shell reaches the running shell,
which deletes the entry) and a Start-menu shortcut; `msiexec /x /qn` removes files, keys and
registration and keeps only the user's two lists. An upgrade goes the whole way a user's does: the
portal publishes a newer package, the shell announces it, the updater downloads and opens it, and
the installation then reports the newer version with the user's lists intact."""
import os
import shutil
import sys
import unittest

import harness as h
import msi_package as pkg

sys.path.insert(0, os.path.join(h.SRC, "portal"))
sys.path.insert(0, os.path.join(h.SRC, "installer"))
import com_registration  # noqa: E402
import server as portal  # noqa: E402
import update_signing  # noqa: E402

WINDIR = pkg.installed_winpath()
DECL = b'<?xml version="1.0" encoding="gb2312"?>\r\n<root>\r\n'
LIANLIANKAN = b"\xc1\xac\xc1\xac\xbf\xb4"   # 连连看 in GBK
SHELL_TITLE = "Tarnwick更新"
SHELL_MESSAGE = "已发现更新的版本,马上进行自动更新!"
UPDATER_CAPTION = "Tarnwick在线更新"
WM_COMMAND = 0x0111
PROGRAMS = ("Tarnwick.exe", "Corvala.dll", "Feltram.exe", "Brask.exe")
DATA = ("system/verinfo.dat", "system/Vrindle.skn", "leftview/leftbak.html", "leftview/gamefavorites.xml",
        "leftview/gamelocal.xml")


def item(title):
    return b"<item><txt>" + title + b"</txt><url><![CDATA[http://127.0.0.1/g.htm?" + title + b"]]></url></item>"


def list_file(titles):
    return DECL + b"".join(item(t) + b"\r\n" for t in titles) + b"</root>\r\n"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def com_keys():
    """The HKCR keys the library's registration owns, named from its IDL."""
    library, coclasses, dispinterfaces = com_registration.parse_idl(read(os.path.join(h.SRC, "library",
                                                                                      "Corvala.idl")).decode())
    keys = ["CLSID\\" + c["uuid"] for c in coclasses]
    keys += ["%s.%s" % (library["name"], c["name"]) for c in coclasses]
    keys += ["TypeLib\\" + library["uuid"]]
    keys += ["Interface\\" + i["uuid"] for i in dispinterfaces]
    return library, keys


def registry_tree(keys):
    """Every key and value under the given HKCR keys, as a sorted list of lines."""
    lines = []
    for k in keys:
        out, _ = pkg.driver("tree", k)
        lines += ["%s=%s" % kv for kv in out]
    return sorted(lines, key=str.lower)


EMULATION = "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION"


def browser_emulation():
    """The user's browser-emulation value for the shell, or None."""
    out, _ = pkg.driver("tree", EMULATION, "HKCU")
    found = [v.split("|")[2] for k, v in out if k == "value" and v.split("|")[1].lower() == "tarnwick.exe"]
    return found[0] if found else None


def start_menu_links():
    found = []
    for root, _dirs, files in os.walk(os.path.join(h.PREFIX, "drive_c")):
        if "Start Menu" in root:
            found += [os.path.join(root, f) for f in files if f.lower() == "tarnwick.lnk"]
    return found


def fresh_prefix_state():
    """No Tarnwick product, no installation folder and no record of kept lists left from an
    earlier run."""
    h.kill_wine_programs()
    pkg.uninstall()
    shutil.rmtree(pkg.installed_dir(), ignore_errors=True)
    pkg.forget_lists()


def start_shell(install):
    p = h.start([os.path.join(install, "Tarnwick.exe")])
    h.wait_until(lambda: h.probe("find", "FrmQorMess", "*"), 40, 0.2, "the shell's command window")
    return p


class PackageCase(unittest.TestCase):
    """A test of the built package; skipped where no package was built."""

    @classmethod
    def setUpClass(cls):
        h.ensure()
        cls.msi = pkg.package_path()
        if not os.path.exists(cls.msi):
            raise unittest.SkipTest("no package at %s (wixl missing?)" % cls.msi)


class FreshInstall(PackageCase):
    """Each test starts from its own installation of the package, removed again after it."""

    def setUp(self):
        fresh_prefix_state()
        self.addCleanup(fresh_prefix_state)
        self.dir = pkg.install(self.msi)


class Installed(PackageCase):
    """One installation from the package, looked at from several sides."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        fresh_prefix_state()
        cls.dir = pkg.install(cls.msi)

    @classmethod
    def tearDownClass(cls):
        fresh_prefix_state()

    def tearDown(self):
        h.kill_wine_programs()

    def test_programs_and_data_are_installed_as_built(self):
        for name in PROGRAMS:
            self.assertEqual(read(os.path.join(self.dir, name)), read(os.path.join(h.BIN, name)), name)
            if name.endswith(".exe"):  # the platform must never virtualise a program's writes
                self.assertIn(b'<requestedExecutionLevel level="asInvoker"', read(os.path.join(self.dir, name)), name)
        for rel in DATA:
            self.assertEqual(read(os.path.join(self.dir, "data", rel)), read(os.path.join(h.SRC, "data", rel)), rel)

    def test_the_system_reports_the_version_of_verinfo_dat(self):
        found = pkg.products()
        self.assertEqual(len(found), 1, found)
        number = pkg.version_number()
        self.assertEqual(found[0].get("VersionString"), "%d.%d.0" % divmod(number, 100))
        self.assertEqual(found[0].get("ProductName"), "Tarnwick")

    def test_registration_is_the_users_own(self):
        # As the package left it, before the prefix was given the merged view (msi_package).
        for key in pkg.class_keys():
            self.assertIn(key, pkg.WRITTEN["HKCU"])
        self.assertEqual(pkg.WRITTEN["HKLM"], [])

    def test_progids_create_objects_of_the_installed_library(self):
        for progid, interface in (("Corvala.DFiles", "_DFiles"), ("Corvala.Cmd_", "_Cmd_")):
            out, rc = pkg.driver("progid", progid)
            got = dict(out)
            self.assertEqual(got.get("progid_hr"), "0x00000000", (progid, out))
            self.assertEqual(got.get("server", "").lower(), (WINDIR + "\\Corvala.dll").lower(), progid)
            self.assertEqual(got.get("create_hr"), "0x00000000", (progid, out))
            self.assertEqual(got.get("interface"), interface, progid)
            self.assertEqual(rc, 0)

    def test_type_library_loads_from_the_installed_library(self):
        library, _ = com_keys()
        out, _ = pkg.driver("typelib", library["uuid"], *library["version"])
        got = dict(out)
        self.assertEqual(got.get("load_hr"), "0x00000000", out)
        self.assertEqual(got.get("path", "").lower(), (WINDIR + "\\Corvala.dll").lower())

    def test_qorzentro_links_start_the_relay(self):
        lines = registry_tree(["qorzentro"])
        self.assertIn("value=qorzentro|URL Protocol|", lines)
        self.assertIn('value=qorzentro\\shell\\open\\command||"%s\\Brask.exe" "%%1"' % WINDIR, lines)

    def test_browser_panes_get_the_newest_document_mode(self):
        self.assertEqual(browser_emulation(), "#11001")

    def test_start_menu_shortcut_starts_the_installed_shell(self):
        links = start_menu_links()
        self.assertEqual(len(links), 1, links)
        self.assertEqual(os.path.basename(os.path.dirname(links[0])), "Tarnwick")
        out, rc = pkg.driver("shortcut", h.winpath(links[0]))
        got = dict(out)
        self.assertEqual(rc, 0, out)
        self.assertEqual(got.get("target", "").lower(), (WINDIR + "\\Tarnwick.exe").lower())
        self.assertEqual(got.get("workdir", "").rstrip("\\").lower(), WINDIR.lower())
        # Started the way the shortcut says: the installation runs.
        shell = h.start([got["target"]], cwd=self.dir)
        self.addCleanup(h.stop, shell)
        h.wait_until(lambda: h.probe("find", "FrmQorMess", "*"), 40, 0.2, "the shell's command window")
        self.assertEqual(len(h.probe("find", "*", "TarnwickMain")), 1)
        self.assertIsNone(shell.poll())

    def test_link_opened_through_the_system_shell_deletes_the_entry(self):
        fav = os.path.join(self.dir, "data", "leftview", "gamefavorites.xml")
        before = read(fav)
        self.addCleanup(write, fav, before)
        write(fav, list_file([b"f0", LIANLIANKAN, b"f2"]))
        shell = start_shell(self.dir)
        self.addCleanup(h.stop, shell)
        out, rc = pkg.driver("open", "qorzentro://sub4|0/")
        self.assertEqual(rc, 0, out)
        h.wait_until(lambda: read(fav) == list_file([LIANLIANKAN, b"f2"]), 20, 0.1, "the first favourite to go")
        self.assertEqual(read(os.path.join(self.dir, "data", "leftview", "gamelocal.xml")),
                         read(os.path.join(h.SRC, "data", "leftview", "gamelocal.xml")))
        self.assertIsNone(shell.poll())


class Removal(FreshInstall):

    def setUp(self):
        super().setUp()
        self.library, self.keys = com_keys()

    def test_uninstall_removes_files_keys_and_registration_and_keeps_the_lists(self):
        leftview = os.path.join(self.dir, "data", "leftview")
        favourites = list_file([b"kept", LIANLIANKAN])
        write(os.path.join(leftview, "gamefavorites.xml"), favourites)
        self.assertTrue(registry_tree(self.keys))
        self.assertTrue(start_menu_links())

        pkg.uninstall()

        for name in PROGRAMS:
            self.assertFalse(os.path.exists(os.path.join(self.dir, name)), name)
        for rel in ("system/verinfo.dat", "system/Vrindle.skn", "leftview/leftbak.html"):
            self.assertFalse(os.path.exists(os.path.join(self.dir, "data", rel)), rel)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "data", "system")))
        # The lists are the user's: they stay, entries and all.
        self.assertEqual(read(os.path.join(leftview, "gamefavorites.xml")), favourites)
        self.assertEqual(sorted(os.listdir(leftview)), ["gamefavorites.xml", "gamelocal.xml"])

        self.assertEqual(registry_tree(self.keys), [])
        self.assertEqual(registry_tree(["qorzentro"]), [])
        self.assertEqual(pkg.class_tree("HKCU"), [])
        # Of the product's own key only the lists' record stays, beside the lists.
        left, _ = pkg.driver("tree", "Software\\Tarnwick", "HKCU")
        self.assertEqual(sorted(left), [("key", "Software\\Tarnwick"), ("key", "Software\\Tarnwick\\Lists"),
                                        ("value", "Software\\Tarnwick\\Lists|FavoritesList|#1"),
                                        ("value", "Software\\Tarnwick\\Lists|LocalList|#1")])
        self.assertIsNone(browser_emulation())
        out, rc = pkg.driver("progid", "Corvala.DFiles")
        self.assertNotEqual(dict(out).get("progid_hr"), "0x00000000")
        self.assertNotEqual(rc, 0)
        self.assertEqual(start_menu_links(), [])
        self.assertEqual(pkg.products(), [])

    def test_package_rows_equal_the_library_self_registration(self):
        from_package = registry_tree(self.keys)
        self.assertGreater(len(from_package), 40)
        pkg.uninstall()
        self.assertEqual(registry_tree(self.keys), [])
        # The same library at the same path, registered by itself: by DllRegisterServer, by it and
        # DllInstall without a command line (regsvr32 /i), and by that DllInstall alone.
        dll = os.path.join(self.dir, "Corvala.dll")
        shutil.copy2(os.path.join(h.BIN, "Corvala.dll"), dll)
        self.addCleanup(lambda: os.path.exists(dll) and os.remove(dll))
        for options in (["/s"], ["/s", "/i"], ["/s", "/n", "/i"]):
            with self.subTest(options=options):
                self.assertEqual(h.run(["regsvr32"] + options + [WINDIR + "\\Corvala.dll"], timeout=60).returncode, 0)
                try:
                    self_registered = registry_tree(self.keys)
                finally:
                    removed = h.run(["regsvr32", "/u"] + options + [WINDIR + "\\Corvala.dll"], timeout=60)
                self.assertEqual(from_package, self_registered)
                self.assertEqual(removed.returncode, 0)
                self.assertEqual(registry_tree(self.keys), [])

    def test_per_user_self_registration_equals_the_package_rows_and_stays_the_users(self):
        # The package's rows as it wrote them under the user's classes.
        from_package = pkg.class_tree("HKCU", self.keys)
        self.assertGreater(len(from_package), 40)
        pkg.uninstall()
        self.assertEqual(pkg.class_tree("HKCU", self.keys), [])
        machine = pkg.class_tree("HKLM", self.keys)
        user_classes, _ = pkg.driver("tree", "Software\\Classes", "HKCU")
        dll = os.path.join(self.dir, "Corvala.dll")
        shutil.copy2(os.path.join(h.BIN, "Corvala.dll"), dll)
        self.addCleanup(lambda: os.path.exists(dll) and os.remove(dll))
        self.assertEqual(h.run(["regsvr32", "/s", "/n", "/i:user", WINDIR + "\\Corvala.dll"], timeout=60).returncode, 0)
        try:
            self_registered = pkg.class_tree("HKCU", self.keys)
            machine_after = pkg.class_tree("HKLM", self.keys)
        finally:
            unregistered = h.run(["regsvr32", "/u", "/s", "/n", "/i:user", WINDIR + "\\Corvala.dll"], timeout=60)
        self.assertEqual(self_registered, from_package)
        self.assertEqual(machine_after, machine)
        self.assertEqual(unregistered.returncode, 0)
        # Removed exactly what it wrote: the user's classes are as before, but for the empty
        # containers of classes, type libraries and interfaces that registering made.
        after = pkg.driver("tree", "Software\\Classes", "HKCU")[0]
        self.assertLessEqual(set(user_classes), set(after))
        self.assertLessEqual(set(after) - set(user_classes),
                             {("key", "Software\\Classes" + k) for k in ("", "\\CLSID", "\\TypeLib", "\\Interface")})
        # Any other command line is refused and writes nothing.
        self.assertNotEqual(h.run(["regsvr32", "/s", "/n", "/i:machine", WINDIR + "\\Corvala.dll"],
                                  timeout=60).returncode, 0)
        self.assertEqual(pkg.class_tree("HKCU", self.keys), [])


class Lists(PackageCase):
    """The user's two lists through removal, reinstallation, repair and an upgrade from a package
    released before they had registry key paths, each from a fresh state. A repair is what
    `msiexec /f[mode]` runs: REINSTALL=ALL with REINSTALLMODE, "pecms" by default. Wine's
    installer has no rule for unversioned files (it overwrites a changed list), so these run the
    package with the lists marked NeverOverwrite, which gives Wine Windows' outcome for a changed
    list; the package itself is held to Windows' rules by the `user lists` package rule."""

    def setUp(self):
        fresh_prefix_state()
        self.addCleanup(fresh_prefix_state)
        self.addCleanup(h.kill_wine_programs)
        self.leftview = os.path.join(pkg.installed_dir(), "data", "leftview")
        self.mine = {"gamefavorites.xml": list_file([b"mine", LIANLIANKAN]),
                     "gamelocal.xml": list_file([b"downloaded"])}

    def lists(self):
        return {n: read(os.path.join(self.leftview, n)) for n in self.mine
                if os.path.exists(os.path.join(self.leftview, n))}

    def packaged(self, name):
        return read(os.path.join(h.SRC, "data", "leftview", name))

    def edit(self):
        for name, data in self.mine.items():
            write(os.path.join(self.leftview, name), data)

    def test_removal_keeps_the_lists_and_a_reinstall_uses_them(self):
        pkg.install(self.msi)
        self.edit()
        pkg.uninstall()
        self.assertEqual(self.lists(), self.mine)
        pkg.install(self.msi)
        self.assertEqual(self.lists(), self.mine)

    def test_a_reinstall_after_the_folder_was_deleted_installs_both_lists_afresh(self):
        pkg.install(self.msi)
        self.edit()
        pkg.uninstall()
        shutil.rmtree(pkg.installed_dir())
        pkg.install(self.msi)
        self.assertEqual(self.lists(), {n: self.packaged(n) for n in self.mine})

    def test_a_repair_restores_a_deleted_list_and_keeps_the_edited_one(self):
        for mode in ("pecms", "p"):
            with self.subTest(mode=mode):
                fresh_prefix_state()
                pkg.install(self.msi)
                favourites = os.path.join(self.leftview, "gamefavorites.xml")
                write(favourites, self.mine["gamefavorites.xml"])
                os.remove(os.path.join(self.leftview, "gamelocal.xml"))
                pkg.install(self.msi, "REINSTALL=ALL", "REINSTALLMODE=" + mode)
                self.assertEqual(self.lists(), {"gamefavorites.xml": self.mine["gamefavorites.xml"],
                                                "gamelocal.xml": self.packaged("gamelocal.xml")})

    def test_a_package_released_before_upgrades_without_losing_an_edited_list(self):
        work = os.path.join(h.BUILD, "installer-released-test")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        number = pkg.version_number()
        pkg.install(pkg.build_released(number, os.path.join(work, "Tarnwick-released.msi")))
        self.edit()
        pkg.install(pkg.build(number + 1, os.path.join(work, "Tarnwick-newer.msi")))
        self.assertEqual([p.get("VersionString") for p in pkg.products()], ["%d.%d.0" % divmod(number + 1, 100)])
        self.assertEqual(self.lists(), self.mine)
        # Now in the newer package's care: a deleted list comes back with a repair.
        os.remove(os.path.join(self.leftview, "gamelocal.xml"))
        pkg.install(os.path.join(work, "Tarnwick-newer.msi"), "REINSTALL=ALL", "REINSTALLMODE=pecms")
        self.assertEqual(self.lists(), dict(self.mine, **{"gamelocal.xml": self.packaged("gamelocal.xml")}))


class SameVersion(FreshInstall):
    """What else may run over an installation: a rebuilt package of its version, and a request
    for a per-machine installation."""

    def setUp(self):
        super().setUp()
        self.before = pkg.products()

    def test_a_rebuilt_package_of_the_same_version_replaces_the_installation(self):
        work = os.path.join(h.BUILD, "installer-same-version-test")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        rebuilt = pkg.build(pkg.version_number(), os.path.join(work, "Tarnwick-rebuilt.msi"))
        favourites = list_file([b"mine", LIANLIANKAN])
        write(os.path.join(self.dir, "data", "leftview", "gamefavorites.xml"), favourites)
        self.assertEqual(pkg.msiexec("/i", h.winpath(rebuilt), "/qn").returncode, 0)
        after = pkg.products()
        self.assertEqual(len(after), 1, after)
        self.assertNotEqual(after[0]["product"], self.before[0]["product"])
        self.assertEqual(after[0].get("VersionString"), self.before[0].get("VersionString"))
        for name in PROGRAMS:
            self.assertEqual(read(os.path.join(self.dir, name)), read(os.path.join(h.BIN, name)), name)
        self.assertEqual(read(os.path.join(self.dir, "data", "leftview", "gamefavorites.xml")), favourites)

    def test_a_per_machine_installation_is_refused(self):
        r = pkg.msiexec("/i", h.winpath(self.msi), "ALLUSERS=1", "/qn")
        self.assertNotEqual(r.returncode, 0)
        self.assertEqual(pkg.products(), self.before)


class Upgrade(PackageCase):
    """Version N installed, N+1 published on the portal: the shell and the updater take the
    installation to N+1. The test serves the portal itself, with the newer package published."""

    def setUp(self):
        self.server = None
        fresh_prefix_state()
        self.addCleanup(fresh_prefix_state)
        self.number = pkg.version_number()
        self.newer = self.number + 1
        self.publish = os.path.join(h.BUILD, "installer-upgrade-test", "publish")
        shutil.rmtree(os.path.dirname(self.publish), ignore_errors=True)
        os.makedirs(self.publish)
        pkg.build(self.newer, os.path.join(self.publish, "ZentroVrindle.msi"))
        # Published as a publisher does: signed with the key the installed updater holds.
        newer_info = os.path.join(os.path.dirname(self.publish), "verinfo-newer.dat")
        write(newer_info, b"%d\r\n" % self.newer)
        update_signing.publish(os.path.join(h.BUILD, "keys", "update_private.pem"),
                               os.path.join(self.publish, "ZentroVrindle.msi"), newer_info,
                               os.path.join(self.publish, "updatainfo.txt"))

    def tearDown(self):
        h.kill_wine_programs()
        if self.server:
            self.server.shutdown()
            self.server.server_close()
        h.ensure()

    # The test prefix normally opens packages with a logging stand-in; here the real installer
    # must run, as it does on a user's system.
    def set_package_opener(self, command):
        reg = os.path.join(h.BUILD, "installer-upgrade-test", "opener.reg")
        text = "\r\n".join(["REGEDIT4", "", "[HKEY_CLASSES_ROOT\\Msi.Package\\shell\\open\\command]",
                            '@="%s"' % command.replace("\\", "\\\\").replace('"', '\\"'), ""])
        with open(reg, "w", encoding="utf-16") as f:
            f.write(text)
        self.assertEqual(h.run(["regedit", "/S", h.winpath(reg)], timeout=60).returncode, 0)

    def use_msiexec_for_packages(self):
        self.set_package_opener('C:\\windows\\system32\\msiexec.exe /i "%1"')
        self.addCleanup(self.restore_package_opener)

    def restore_package_opener(self):
        self.set_package_opener('"%s" "%%1"' % h.winpath(os.path.join(h.BIN, "twopen.exe")))

    def serve_portal(self):
        if not h.take_portal_port():
            self.skipTest("port %d is held by another program" % h.PORTAL_PORT)
        self.server, _ = portal.start_server(os.path.join(h.SRC, "portal", "site"), h.PORTAL_PORT,
                                             extra_roots=[self.publish])

    def test_shell_announces_updater_installs_the_newer_package_and_the_lists_survive(self):
        self.serve_portal()
        self.use_msiexec_for_packages()
        install = pkg.install(self.msi)
        leftview = os.path.join(install, "data", "leftview")
        favourites = list_file([b"mine0", LIANLIANKAN, b"mine2"])
        local = list_file([b"downloaded"])
        write(os.path.join(leftview, "gamefavorites.xml"), favourites)
        write(os.path.join(leftview, "gamelocal.xml"), local)
        verinfo = os.path.join(install, "data", "system", "verinfo.dat")
        self.assertEqual(read(verinfo).split(), [b"%d" % self.number])

        shell = h.start([os.path.join(install, "Tarnwick.exe")])
        self.addCleanup(h.stop, shell)
        boxes = h.wait_until(lambda: h.probe("find", SHELL_TITLE, "#32770"), 40, 0.2, "the shell's announcement")
        texts = [c.get("text", "") for c in h.probe("children", boxes[0]["hwnd"])]
        self.assertIn(SHELL_MESSAGE, texts)
        h.probe("post", boxes[0]["hwnd"], WM_COMMAND, 1, 0)
        shell.wait(30)

        # The updater fetches the package and opens it; the installer replaces version N.
        h.wait_until(lambda: [p for p in pkg.products() if p.get("VersionString") == "%d.%d.0" % divmod(self.newer, 100)],
                     120, 0.5, "version N+1 to be installed")
        h.wait_until(lambda: not h.probe("find", UPDATER_CAPTION, "*"), 30, 0.5, "the updater to end")
        self.assertEqual(len(pkg.products()), 1, pkg.products())
        self.assertIn("/ZentroVrindle.msi", self.server.requests)
        self.assertEqual(read(os.path.join(install, "data", "Zentronew.msi")),
                         read(os.path.join(self.publish, "ZentroVrindle.msi")))
        h.wait_until(lambda: os.path.exists(verinfo) and read(verinfo).split() == [b"%d" % self.newer], 30, 0.2,
                     "verinfo.dat of version N+1")
        self.assertEqual(read(os.path.join(leftview, "gamefavorites.xml")), favourites)
        self.assertEqual(read(os.path.join(leftview, "gamelocal.xml")), local)
        for name in PROGRAMS:
            self.assertTrue(os.path.exists(os.path.join(install, name)), name)
        out, _ = pkg.driver("progid", "Corvala.DFiles")
        self.assertEqual(dict(out).get("create_hr"), "0x00000000", out)
        self.assertEqual(registry_tree(["qorzentro"])[0], "key=qorzentro")

        # The upgraded shell finds itself up to date and stays.
        asked = self.server.requests.count("/updatainfo.txt")
        info = os.path.join(install, "data", "updata.tmp")
        if os.path.exists(info):
            os.remove(info)
        shell = start_shell(install)
        self.addCleanup(h.stop, shell)
        h.wait_until(lambda: self.server.requests.count("/updatainfo.txt") > asked, 30, 0.2, "the next check")
        main = h.wait_until(lambda: h.probe("find", "*", "TarnwickMain"), 30, 0.2, "the shell's window")
        h.wait_until(lambda: os.path.exists(info), 30, 0.2, "the update information")
        # The check runs in the handler that saved the file: once the window answers, it is over.
        self.assertEqual(h.probe("send", main[0]["hwnd"], 0, 0, 0)[0]["ok"], "1")  # WM_NULL
        self.assertFalse(h.probe("find", SHELL_TITLE, "#32770"))
        self.assertIsNone(shell.poll())

    def test_an_older_package_refuses_to_replace_a_newer_installation(self):
        install = pkg.install(os.path.join(self.publish, "ZentroVrindle.msi"))
        newer = "%d.%d.0" % divmod(self.newer, 100)
        self.assertEqual([p.get("VersionString") for p in pkg.products()], [newer])
        r = pkg.msiexec("/i", h.winpath(self.msi), "/qn")
        self.assertNotEqual(r.returncode, 0)
        self.assertEqual([p.get("VersionString") for p in pkg.products()], [newer])
        self.assertEqual(read(os.path.join(install, "data", "system", "verinfo.dat")).split(), [b"%d" % self.newer])
        for name in PROGRAMS:
            self.assertTrue(os.path.exists(os.path.join(install, name)), name)


if __name__ == "__main__":
    unittest.main()
