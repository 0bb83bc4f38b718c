"""The built packages pass the platform's validation rules (installer/package_rules.py), read off
their tables; no Wine needed. TW_PACKAGES names the packages (separated by the path separator)."""
import os
import unittest

import package_rules

# Warnings a per-user package carries by design: ICE91 (files in per-user only folders; the package
# refuses a per-machine installation) and ICE61 (the upgrade row includes the package's own
# version, so that a rebuild replaces it).
EXPECTED_WARNINGS = {"ICE91", "same-version upgrade"}


class PackageRules(unittest.TestCase):

    def test_every_package_passes_every_rule(self):
        packages = [p for p in os.environ.get("TW_PACKAGES", "").split(os.pathsep) if p]
        if not packages:
            self.skipTest("TW_PACKAGES names no package")
        for msi in packages:
            self.assertTrue(os.path.isfile(msi), msi)
            for rule, errors, warnings in package_rules.check(msi):
                with self.subTest(package=os.path.basename(msi), rule=rule):
                    self.assertEqual(errors, [])
                    if rule not in EXPECTED_WARNINGS:
                        self.assertEqual(warnings, [])


if __name__ == "__main__":
    unittest.main()
