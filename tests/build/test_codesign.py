"""The publisher's signing command (cmake/CodeSign.cmake), in a scratch project that includes it:
a timestamp server named with TW_CODESIGN_TIMESTAMP_URL reaches osslsigncode as an RFC 3161
timestamp request (-ts) for every signature, and without it no signature is timestamped."""
import os
import shutil
import subprocess
import tempfile
import unittest

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
URL = "http://127.0.0.1:18999/rfc3161"

PROJECT = """cmake_minimum_required(VERSION 3.20)
project(signing C)
include(%s)
add_executable(program program.c)
tw_codesign(program)
"""


class TimestampTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tw-codesign-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.src = os.path.join(self.dir, "src")
        os.makedirs(self.src)
        with open(os.path.join(self.src, "CMakeLists.txt"), "w") as f:
            f.write(PROJECT % os.path.join(SRC, "cmake", "CodeSign.cmake").replace("\\", "/"))
        with open(os.path.join(self.src, "program.c"), "w") as f:
            f.write("int main(void) { return 0; }\n")

    def signing_commands(self, *options):
        build = os.path.join(self.dir, "build")
        r = subprocess.run(["cmake", "-S", self.src, "-B", build, "-G", "Ninja"] + list(options),
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        self.assertEqual(r.returncode, 0, r.stdout.decode(errors="replace"))
        r = subprocess.run(["ninja", "-C", build, "-t", "commands", "program"], stdout=subprocess.PIPE, timeout=60)
        lines = [l.split() for l in r.stdout.decode().splitlines() if "osslsigncode" in l]
        self.assertTrue(lines, r.stdout)
        return [l[next(i for i, w in enumerate(l) if w.endswith("osslsigncode")):] for l in lines]

    def test_a_timestamp_server_reaches_every_signature(self):
        for command in self.signing_commands("-DTW_CODESIGN_TIMESTAMP_URL=" + URL):
            self.assertEqual(command[:2], [command[0], "sign"])
            self.assertIn(["-ts", URL], [command[i:i + 2] for i in range(len(command))])
            self.assertNotIn("-t", command)

    def test_no_timestamp_without_a_server(self):
        for command in self.signing_commands():
            self.assertNotIn("-ts", command)
            self.assertNotIn("-t", command)


if __name__ == "__main__":
    unittest.main()
