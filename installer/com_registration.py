#!/usr/bin/env python3
"""Writes the package's registry rows for Corvala.dll: the same keys the library's own
DllRegisterServer writes (classes, ProgIDs, type library, its interfaces), taken from the sources
that define them, so the package and self-registration cannot drift apart:

  library/Corvala.idl        the library id, its version and help string, the coclasses and the
                             dispinterfaces with their GUIDs
  library/server.cpp         the class table: which coclass has which ProgID and description,
                             whether it is a control and which MiscStatus constant it uses
  library/corvala_classes.h  the MiscStatus constants as OLEMISC_* flags

Usage: com_registration.py <repo root> <output .wxi> [x86|x64]
The output holds one <Component> (Id CorvalaRegistration) for the installation folder.
"""
import re
import sys
from xml.sax.saxutils import quoteattr

# OLEMISC flags (oleidl.h); their values are part of the platform's binary interface.
OLEMISC = {
    "OLEMISC_RECOMPOSEONRESIZE": 0x1,
    "OLEMISC_ONLYICONIC": 0x2,
    "OLEMISC_INSERTNOTREPLACE": 0x4,
    "OLEMISC_STATIC": 0x8,
    "OLEMISC_CANTLINKINSIDE": 0x10,
    "OLEMISC_CANLINKBYOLE1": 0x20,
    "OLEMISC_ISLINKOBJECT": 0x40,
    "OLEMISC_INSIDEOUT": 0x80,
    "OLEMISC_ACTIVATEWHENVISIBLE": 0x100,
    "OLEMISC_RENDERINGISDEVICEINDEPENDENT": 0x200,
    "OLEMISC_INVISIBLEATRUNTIME": 0x400,
    "OLEMISC_ALWAYSRUN": 0x800,
    "OLEMISC_ACTSLIKEBUTTON": 0x1000,
    "OLEMISC_ACTSLIKELABEL": 0x2000,
    "OLEMISC_NOUIACTIVATE": 0x4000,
    "OLEMISC_ALIGNABLE": 0x8000,
    "OLEMISC_SIMPLEFRAME": 0x10000,
    "OLEMISC_SETCLIENTSITEFIRST": 0x20000,
    "OLEMISC_IMEMODE": 0x40000,
    "OLEMISC_IGNOREACTIVATEWHENVISIBLE": 0x80000,
    "OLEMISC_WANTSTOMENUMERGE": 0x100000,
    "OLEMISC_SUPPORTSMULTILEVELUNDO": 0x200000,
}

# The standard marshaler of dispatch interfaces (PSOAInterface), as the type library
# registration records it for every dispinterface.
PSOA_INTERFACE = "{00020420-0000-0000-C000-000000000046}"

# Library flags (LIBFLAGS): the IDL's attributes, and the disk-image flag the type library
# compiler sets on every library it writes.
LIBFLAG_FRESTRICTED = 0x1
LIBFLAG_FCONTROL = 0x2
LIBFLAG_FHIDDEN = 0x4
LIBFLAG_FHASDISKIMAGE = 0x8

COMPONENT_GUID = "8E4A6C31-5D2B-4F7A-9C11-3B6E0F2D7A45"


class SourceError(Exception):
    pass


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def parse_idl(text):
    """(library, coclasses, dispinterfaces): each entry a dict with its attributes."""
    text = strip_comments(text)
    # An attribute block followed by a declaration keyword and a name.
    decl = re.compile(r"\[([^\[\]]*)\]\s*(library|coclass|dispinterface)\s+(\w+)\s*\{", re.S)
    library, coclasses, dispinterfaces = None, [], []
    for m in decl.finditer(text):
        attrs, kind, name = m.group(1), m.group(2), m.group(3)
        uuid = re.search(r"uuid\(\s*([0-9A-Fa-f-]{36})\s*\)", attrs)
        if not uuid:
            raise SourceError("%s %s has no uuid" % (kind, name))
        entry = {"name": name, "uuid": "{%s}" % uuid.group(1).upper()}
        help_ = re.search(r'helpstring\(\s*"([^"]*)"\s*\)', attrs)
        entry["help"] = help_.group(1) if help_ else None
        version = re.search(r"version\(\s*(\d+)\.(\d+)\s*\)", attrs)
        entry["version"] = (int(version.group(1)), int(version.group(2))) if version else (0, 0)
        entry["control"] = re.search(r"\bcontrol\b", attrs) is not None
        entry["restricted"] = re.search(r"\brestricted\b", attrs) is not None
        entry["hidden"] = re.search(r"\bhidden\b", attrs) is not None
        if kind == "library":
            library = entry
        elif kind == "coclass":
            coclasses.append(entry)
        else:
            dispinterfaces.append(entry)
    if library is None:
        raise SourceError("no library in the IDL")
    return library, coclasses, dispinterfaces


def parse_class_table(text):
    """The server's class table rows: CLSID name, ProgID, description, control flag, MiscStatus."""
    text = strip_comments(text)
    table = re.search(r"kClasses\[\]\s*=\s*\{(.*?)\};", text, re.S)
    if not table:
        raise SourceError("no class table kClasses[] in server.cpp")
    row = re.compile(r'\{\s*&CLSID_(\w+)\s*,\s*L"([^"]*)"\s*,\s*L"([^"]*)"\s*,\s*\w+\s*,\s*(true|false)\s*,'
                     r'\s*(\w+)\s*\}')
    rows = [{"coclass": m.group(1), "progid": m.group(2), "description": m.group(3),
             "control": m.group(4) == "true", "misc": m.group(5)} for m in row.finditer(table.group(1))]
    if not rows:
        raise SourceError("the class table has no rows")
    return rows


def parse_misc_status(text):
    text = strip_comments(text)
    values = {}
    for m in re.finditer(r"constexpr\s+DWORD\s+(\w+)\s*=\s*([^;]+);", text):
        value = 0
        for flag in re.split(r"\s*\|\s*", m.group(2).strip()):
            if flag in OLEMISC:
                value |= OLEMISC[flag]
            elif re.fullmatch(r"0[xX][0-9a-fA-F]+|\d+", flag):
                value |= int(flag, 0)
            else:
                raise SourceError("unknown MiscStatus flag %s in %s" % (flag, m.group(1)))
        values[m.group(1)] = value
    return values


def rows(root, arch="x86"):
    """The registry rows as (key under HKCR, value name or None, value) in writing order, for a
    library built for arch (x86 or x64: its type library registers under win32 or win64)."""
    library, coclasses, dispinterfaces = parse_idl(read(root + "/library/Corvala.idl"))
    table = parse_class_table(read(root + "/library/server.cpp"))
    misc = parse_misc_status(read(root + "/library/corvala_classes.h"))
    by_name = {c["name"]: c for c in coclasses}
    dll = "[#CorvalaDll]"
    version = "%d.%d" % library["version"]
    # The type library's keys carry its version and flags in hexadecimal, as the platform's type
    # library registration writes them (1.10 is "1.a"); the class's Version value is plain text.
    typelib_version = "%x.%x" % library["version"]
    out = []
    for r in table:
        c = by_name.get(r["coclass"])
        if c is None:
            raise SourceError("class %s of the class table is not in the IDL" % r["coclass"])
        if r["misc"] not in misc:
            raise SourceError("MiscStatus constant %s not found" % r["misc"])
        key = "CLSID\\" + c["uuid"]
        out += [(key, None, r["description"]),
                (key + "\\InprocServer32", None, dll),
                (key + "\\InprocServer32", "ThreadingModel", "Apartment"),
                (key + "\\ProgID", None, r["progid"]),
                (key + "\\TypeLib", None, library["uuid"]),
                (key + "\\Version", None, version)]
        if r["control"]:
            out += [(key + "\\Control", None, ""),
                    (key + "\\MiscStatus", None, "0"),
                    (key + "\\MiscStatus\\1", None, str(misc[r["misc"]]))]
        out += [(r["progid"], None, r["description"]),
                (r["progid"] + "\\CLSID", None, c["uuid"])]
    flags = LIBFLAG_FHASDISKIMAGE
    flags |= LIBFLAG_FRESTRICTED if library["restricted"] else 0
    flags |= LIBFLAG_FCONTROL if library["control"] else 0
    flags |= LIBFLAG_FHIDDEN if library["hidden"] else 0
    lib_key = "TypeLib\\%s\\%s" % (library["uuid"], typelib_version)
    out += [(lib_key, None, library["help"] or library["name"]),
            (lib_key + "\\0\\" + ("win64" if arch == "x64" else "win32"), None, dll),
            (lib_key + "\\FLAGS", None, "%x" % flags),
            (lib_key + "\\HELPDIR", None, "[INSTALLDIR]")]
    for i in dispinterfaces:
        key = "Interface\\" + i["uuid"]
        out += [(key, None, i["name"]),
                (key + "\\ProxyStubClsid", None, PSOA_INTERFACE),
                (key + "\\ProxyStubClsid32", None, PSOA_INTERFACE),
                (key + "\\TypeLib", None, library["uuid"]),
                (key + "\\TypeLib", "Version", typelib_version)]
    return out


def wxi(rows_, arch="x86"):
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             "<!-- Generated by installer/com_registration.py from the library's sources. -->",
             '<Include xmlns="http://schemas.microsoft.com/wix/2006/wi">',
             '  <Component Id="CorvalaRegistration" Guid="%s" Win64="%s">' % (COMPONENT_GUID, "yes" if arch == "x64" else "no")]
    for key, name, value in rows_:
        # The user's own classes: a per-user installation needs no elevation.
        attrs = 'Root="HKCU" Key=%s' % quoteattr("Software\\Classes\\" + key)
        if name:
            attrs += " Name=%s" % quoteattr(name)
        # An empty default value still creates its key (Control).
        attrs += ' Type="string" Value=%s' % quoteattr(value)
        lines.append("    <RegistryValue %s/>" % attrs)
    lines += ["  </Component>", "</Include>", ""]
    return "\n".join(lines)


def main(argv):
    if len(argv) not in (3, 4) or (len(argv) == 4 and argv[3] not in ("x86", "x64")):
        sys.stderr.write(__doc__)
        return 2
    arch = argv[3] if len(argv) == 4 else "x86"
    try:
        text = wxi(rows(argv[1], arch), arch)
    except (SourceError, OSError) as e:
        sys.stderr.write("com_registration.py: %s\n" % e)
        return 1
    with open(argv[2], "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
