"""The package's registration rows for the component library (installer/com_registration.py), made
from a copy of its sources with a type library of version 1.10 that is a control: the type
library's version key and flags are hexadecimal, as the platform's registration writes them."""
import os
import re
import shutil
import tempfile
import unittest

import com_registration

SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class TypeLibraryRows(unittest.TestCase):

    def test_version_and_flags_are_hexadecimal(self):
        root = tempfile.mkdtemp(prefix="tw-registration-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        shutil.copytree(os.path.join(SRC, "library"), os.path.join(root, "library"))
        idl = os.path.join(root, "library", "Corvala.idl")
        with open(idl, encoding="utf-8") as f:
            text, n = re.subn(r"version\(1\.0\),", "version(1.10), control,", f.read(), count=1)
        self.assertEqual(n, 1)
        with open(idl, "w", encoding="utf-8") as f:
            f.write(text)
        library, _, dispinterfaces = com_registration.parse_idl(text)
        rows = com_registration.rows(root)
        key = "TypeLib\\%s\\1.a" % library["uuid"]
        self.assertIn((key + "\\FLAGS", None, "a"), rows)  # FCONTROL | FHASDISKIMAGE
        self.assertIn((key + "\\0\\win32", None, "[#CorvalaDll]"), rows)
        self.assertFalse([r for r in rows if "\\1.10" in r[0]])
        for i in dispinterfaces:
            self.assertIn(("Interface\\%s\\TypeLib" % i["uuid"], "Version", "1.a"), rows)


if __name__ == "__main__":
    unittest.main()
