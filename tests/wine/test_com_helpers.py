"""The COM helper layer every program and the library share, checked inside Wine by a driver:
QueryInterface tables, dispatch arguments, connection points, property bags, streams, the class
factory table, the registry helpers and the ANSI text helpers."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class ComHelpersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.ensure()

    def test_helper_checks_pass(self):
        r = harness.run([os.path.join(harness.BIN, "twcomhelpers.exe")], timeout=60)
        out = r.stdout.decode("utf-8", errors="replace")
        failures = [line for line in out.splitlines() if line.startswith("fail ")]
        self.assertEqual(failures, [])
        self.assertIn("failures=0", out)
        # The driver really ran its checks.
        checks = int(out.split("checks=")[1].split()[0])
        self.assertGreaterEqual(checks, 100)
        self.assertEqual(r.returncode, 0)

    def test_ansi_text_under_a_western_code_page(self):
        # Code page 1252 lacks the full-width and CJK brackets: they must become '?', not the
        # ASCII markup characters they look like.
        r = harness.run([os.path.join(harness.BIN, "twcomhelpers.exe"), "ansi"], timeout=60,
                        extra_env={"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"})
        out = r.stdout.decode("utf-8", errors="replace")
        self.assertIn("acp=1252", out)
        self.assertEqual([line for line in out.splitlines() if line.startswith("fail ")], [])
        self.assertIn("failures=0", out)


if __name__ == "__main__":
    unittest.main()
