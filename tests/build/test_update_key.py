"""The build's own package-signing key pair (cmake/UpdateKey.cmake), in a scratch project that
includes it: made once, then kept byte for byte by every reconfigure and rebuild, whatever
becomes of the commands around it; a lost public key is made again from the private one."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SRC, "installer"))
import update_signing  # noqa: E402

PROJECT = """cmake_minimum_required(VERSION 3.20)
project(keys NONE)
include(%s)
add_custom_target(keys_header ALL DEPENDS tw_update_public_key)
"""


def read(path):
    with open(path, "rb") as f:
        return f.read()


class UpdateKeyTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tw-update-key-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.src, self.build = os.path.join(self.dir, "src"), os.path.join(self.dir, "build")
        os.makedirs(self.src)
        self.write_project(PROJECT)
        self.private = os.path.join(self.build, "keys", "update_private.pem")
        self.public = os.path.join(self.build, "keys", "update_public.pem")
        self.header = os.path.join(self.build, "generated", "update_public_key.h")

    def write_project(self, text):
        with open(os.path.join(self.src, "CMakeLists.txt"), "w") as f:
            f.write(text % os.path.join(SRC, "cmake", "UpdateKey.cmake").replace("\\", "/"))

    def cmake(self, *args):
        r = subprocess.run(["cmake"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(r.returncode, 0, r.stdout.decode(errors="replace"))

    def configure_and_build(self):
        self.cmake("-S", self.src, "-B", self.build, "-G", "Ninja")
        self.cmake("--build", self.build)

    def test_the_pair_is_made_once_and_never_overwritten(self):
        self.configure_and_build()
        pair = read(self.private), read(self.public)
        header = read(self.header)
        # Every command counts as changed once the build tool's record of them is gone, and the
        # project around the include changes.
        os.remove(os.path.join(self.build, ".ninja_log"))
        self.write_project(PROJECT + "# changed\n")
        self.configure_and_build()
        self.assertEqual((read(self.private), read(self.public)), pair)
        # A fresh configure of the same build folder keeps them too.
        os.remove(os.path.join(self.build, "CMakeCache.txt"))
        self.configure_and_build()
        self.assertEqual((read(self.private), read(self.public)), pair)
        self.assertEqual(read(self.header), header)
        # A lost public key is made again from the private key, not a new pair.
        os.remove(self.public)
        self.configure_and_build()
        self.assertEqual((read(self.private), read(self.public)), pair)
        # The script itself refuses to write over a pair.
        with self.assertRaises(SystemExit):
            update_signing.genkey(self.private, self.public)
        self.assertEqual((read(self.private), read(self.public)), pair)


if __name__ == "__main__":
    unittest.main()
