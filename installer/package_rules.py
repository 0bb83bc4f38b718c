#!/usr/bin/env python3
"""Checks a built package's tables against the platform's validation rules (ICEs) that matter for
a per-user package, read off with `msiinfo export`. Each rule is checked as its documentation
defines it, from the tables alone (see docs/DEVELOPING.md for the rules and their sources).

Usage: package_rules.py PACKAGE.msi...   prints each rule's errors and warnings; exits 1 on errors
"""
import subprocess
import sys

# The system folders that resolve into the user's profile in a per-user installation.
PROFILE_FOLDERS = {"AppDataFolder", "LocalAppDataFolder", "DesktopFolder", "FavoritesFolder", "NetHoodFolder",
                   "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder", "SendToFolder",
                   "StartMenuFolder", "StartupFolder", "TemplateFolder", "MyPicturesFolder"}
# The folders that stay one user's even in a per-machine installation (ICE91's list).
PER_USER_ONLY = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder", "PrintHoodFolder",
                 "RecentFolder", "SendToFolder", "MyPicturesFolder", "LocalAppDataFolder"}

COMPONENT_PERMANENT = 0x10
COMPONENT_NEVER_OVERWRITE = 0x80
COMPONENT_TRANSITIVE = 0x40
COMPONENT_REGISTRY_KEY_PATH = 0x4
REMOVE_ON_REMOVE = 0x2
UPGRADE_ONLY_DETECT = 0x2
UPGRADE_VERSION_MIN_INCLUSIVE = 0x100
UPGRADE_VERSION_MAX_INCLUSIVE = 0x200
HKCU, HKCU_OR_HKLM = 1, -1

SHORT_BAD = set('/\\?|<>:*"+,;=[] ')
LONG_BAD = set('/\\?|<>:*"')


def export(msi, name):
    """The rows of one table as dicts by column name; [] when the package has no such table."""
    r = subprocess.run(["msiinfo", "export", msi, name], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        return []
    lines = r.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, l.split("\t"))) for l in lines[3:] if l]


class Package:
    def __init__(self, msi):
        self.tables = {}
        self.msi = msi

    def __getitem__(self, name):
        if name not in self.tables:
            self.tables[name] = export(self.msi, name)
        return self.tables[name]

    def by_key(self, name, key):
        return {r[key]: r for r in self[name]}

    def below(self, directory, folders):
        """Whether `directory` is one of `folders` or lies below one of them."""
        dirs = self.by_key("Directory", "Directory")
        while directory:
            if directory in folders:
                return True
            directory = dirs.get(directory, {}).get("Directory_Parent")
        return False

    def in_profile(self, directory):
        return self.below(directory, PROFILE_FOLDERS)

    def in_per_user_only(self, directory):
        return self.below(directory, PER_USER_ONLY)


def hkcu_key_path(pkg, component):
    """None when the component's key path is an HKCU value of its own, else what is wrong."""
    if not int(component["Attributes"]) & COMPONENT_REGISTRY_KEY_PATH:
        return "its key path is a file"
    reg = pkg.by_key("Registry", "Registry").get(component["KeyPath"])
    if reg is None:
        return "its key path %r is not in the Registry table" % component["KeyPath"]
    if int(reg["Root"]) not in (HKCU, HKCU_OR_HKLM):
        return "its key path is not under HKCU"
    if reg["Component_"] != component["Component"]:
        return "its key path belongs to component %s" % reg["Component_"]
    return None


def ice38(pkg):
    """Every component installed under the user's profile has an HKCU registry key path."""
    out = []
    for c in pkg["Component"]:
        if pkg.in_profile(c["Directory_"]):
            wrong = hkcu_key_path(pkg, c)
            if wrong:
                out.append("component %s installs to the user profile, but %s" % (c["Component"], wrong))
    return out, []


def ice43(pkg):
    """A component with non-advertised shortcuts (Target not a feature) has an HKCU key path."""
    features = {f["Feature"] for f in pkg["Feature"]}
    components = pkg.by_key("Component", "Component")
    out = []
    for s in pkg["Shortcut"]:
        if s["Target"] not in features:
            wrong = hkcu_key_path(pkg, components[s["Component_"]])
            if wrong:
                out.append("shortcut %s is not advertised, but its component's %s" % (s["Shortcut"], wrong))
    return out, []


def ice64(pkg):
    """Every new folder in the user's profile is in the RemoveFile table (as a folder removal that
    runs when its component is removed, by a component that is removed at all)."""
    components = pkg.by_key("Component", "Component")
    removals = {}
    for r in pkg["RemoveFile"]:
        if not r["FileName"] and int(r["InstallMode"]) & REMOVE_ON_REMOVE \
                and not int(components[r["Component_"]]["Attributes"]) & COMPONENT_PERMANENT:
            removals[r["DirProperty"]] = r
    out = []
    for d in pkg["Directory"]:
        if d["Directory"] not in PROFILE_FOLDERS and pkg.in_profile(d["Directory"]) \
                and d["Directory"] not in removals:
            out.append("folder %s is in the user profile but is not removed through the RemoveFile table"
                       % d["Directory"])
    return out, []


def filename_errors(text, what):
    """The Filename data type: an 8.3 short name, optionally |long name."""
    short, bar, long_ = text.partition("|")
    stem, dot, ext = short.partition(".")
    out = []
    if not (0 < len(stem) <= 8 and len(ext) <= 3 and "." not in ext and not SHORT_BAD & set(short)):
        out.append("%s: %r is not a short file name%s" % (what, short, "" if bar else " (no SHORT~1|long form)"))
    if bar and (not long_ or LONG_BAD & set(long_)):
        out.append("%s: %r is not a long file name" % (what, long_))
    return out


def ice03_filenames(pkg):
    """The file name columns hold valid Filename values (ICE03's data check, for file names)."""
    out = []
    for f in pkg["File"]:
        out += filename_errors(f["FileName"], "File " + f["File"])
    for d in pkg["Directory"]:
        for part in d["DefaultDir"].split(":"):
            if part not in (".", "SourceDir"):
                out += filename_errors(part, "Directory " + d["Directory"])
    for s in pkg["Shortcut"]:
        out += filename_errors(s["Name"], "Shortcut " + s["Shortcut"])
    return out, []


def ice60(pkg):
    """A versioned file that is not a font or a companion file has a language; no versioned file
    is hashed."""
    files = pkg.by_key("File", "File")
    fonts = {f["File_"] for f in pkg["Font"]}
    hashed = {h["File_"] for h in pkg["MsiFileHash"]}
    errors, warnings = [], []
    for f in files.values():
        if not f["Version"] or f["Version"] in files:
            continue
        if f["File"] in hashed:
            errors.append("file %s is versioned; it cannot be hashed" % f["File"])
        if f["File"] not in fonts and not f["Language"]:
            warnings.append("file %s has version %s but no language" % (f["File"], f["Version"]))
    return errors, warnings


def ice57(pkg):
    """No component mixes per-user and per-machine data."""
    kinds = {}
    for r in pkg["Registry"]:
        root = int(r["Root"])
        kinds.setdefault(r["Component_"], set()).add("user" if root == HKCU else "either" if root == -1 else "machine")
    comps = pkg.by_key("Component", "Component")
    for f in pkg["File"]:
        d = comps[f["Component_"]]["Directory_"]
        kinds.setdefault(f["Component_"], set()).add("user" if pkg.in_profile(d) else "machine")
    out = ["component %s has both per-user and per-machine data" % c
           for c, k in sorted(kinds.items()) if "user" in k and "machine" in k]
    return out, []


def ice91(pkg):
    """Warnings: files and shortcuts in folders that stay one user's in a per-machine installation.
    Harmless for a package that only installs per user (see per_user_only)."""
    comps = pkg.by_key("Component", "Component")
    warnings = ["file %s is in a per-user only folder" % f["File"] for f in pkg["File"]
                if pkg.in_per_user_only(comps[f["Component_"]]["Directory_"])]
    return [], warnings


def per_user_only(pkg):
    """The package refuses a per-machine installation: a launch condition requires ALLUSERS unset,
    and the package does not set it itself."""
    out = []
    conditions = {c["Condition"].strip() for c in pkg["LaunchCondition"]}
    if "NOT ALLUSERS" not in conditions:
        out.append("no launch condition NOT ALLUSERS")
    if any(p["Property"] == "ALLUSERS" for p in pkg["Property"]):
        out.append("the package sets ALLUSERS")
    return out, []


def same_version_upgrade(pkg):
    """A package of the installed version replaces it (a major upgrade whose maximum version is
    inclusive), a newer installed version is still detected and refused, and the older product is
    removed (RemoveExistingProducts is scheduled). ICE61 warns about the inclusive maximum."""
    props = {p["Property"]: p["Value"] for p in pkg["Property"]}
    version, code = props.get("ProductVersion"), props.get("UpgradeCode")
    rows = [r for r in pkg["Upgrade"] if r["UpgradeCode"] == code]
    errors, warnings = [], []
    upgrades = [r for r in rows if not int(r["Attributes"]) & UPGRADE_ONLY_DETECT]
    if not any(r["VersionMax"] == version and int(r["Attributes"]) & UPGRADE_VERSION_MAX_INCLUSIVE for r in upgrades):
        errors.append("no upgrade row takes an installed product of version %s" % version)
    else:
        warnings.append("ICE61: an upgrade row's maximum version includes this product's own version")
    newer = [r for r in rows if int(r["Attributes"]) & UPGRADE_ONLY_DETECT and r["VersionMin"] == version]
    if not newer or any(int(r["Attributes"]) & UPGRADE_VERSION_MIN_INCLUSIVE for r in newer):
        errors.append("an installed newer version is not detected apart from this one")
    if not any(a["Action"] == "RemoveExistingProducts" for a in pkg["InstallExecuteSequence"]):
        errors.append("RemoveExistingProducts is not scheduled")
    return errors, warnings


# The user's lists: files the shell rewrites and the user may delete.
USER_LISTS = ("gamefavorites.xml", "gamelocal.xml")


def user_lists(pkg):
    """Each list is Windows Installer user data that a reinstall or repair puts back when missing:
    an unversioned file (no version, no companion), the only file of a component that is
    Permanent (the list stays when the product goes), has an HKCU key path of its own, and is
    neither NeverOverwrite (skipped whenever its key path exists, so never put back) nor
    Transitive. An existing list is then kept by the rule for unversioned files when it was
    modified after it was created."""
    components = pkg.by_key("Component", "Component")
    files = {f["FileName"].split("|")[-1].lower(): f for f in pkg["File"]}
    out = []
    for name in USER_LISTS:
        f = files.get(name)
        if f is None:
            out.append("the package has no %s" % name)
            continue
        c = components[f["Component_"]]
        attrs = int(c["Attributes"])
        if f["Version"]:
            out.append("%s has a version or companion (%s)" % (name, f["Version"]))
        if [g for g in pkg["File"] if g["Component_"] == c["Component"] and g is not f]:
            out.append("%s shares component %s with other files" % (name, c["Component"]))
        if not attrs & COMPONENT_PERMANENT:
            out.append("component %s of %s is not Permanent" % (c["Component"], name))
        if attrs & COMPONENT_NEVER_OVERWRITE:
            out.append("component %s of %s is NeverOverwrite" % (c["Component"], name))
        if attrs & COMPONENT_TRANSITIVE:
            out.append("component %s of %s is Transitive" % (c["Component"], name))
        wrong = hkcu_key_path(pkg, c)
        if wrong:
            out.append("component %s of %s: %s" % (c["Component"], name, wrong))
    return out, []


RULES = [("ICE38", ice38), ("ICE43", ice43), ("ICE64", ice64), ("ICE03", ice03_filenames), ("ICE60", ice60),
         ("ICE57", ice57), ("ICE91", ice91), ("per-user only", per_user_only),
         ("same-version upgrade", same_version_upgrade), ("user lists", user_lists)]


def check(msi):
    """[(rule, errors, warnings)] for one package."""
    pkg = Package(msi)
    return [(name, *fn(pkg)) for name, fn in RULES]


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    failed = False
    for msi in argv[1:]:
        print(msi)
        for rule, errors, warnings in check(msi):
            print("  %-21s %d errors, %d warnings" % (rule, len(errors), len(warnings)))
            for e in errors:
                print("    error: " + e)
            for w in warnings:
                print("    warning: " + w)
            failed = failed or bool(errors)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
