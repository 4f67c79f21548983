"""Reads a built Windows program's manifest and version resource back from its
.rsrc section, as Windows does, and fails unless they say what the program
needs: run as the caller, the Windows versions it supports, no UTF-8 code
page and no long paths (its paths are ANSI paths of at most MAX_PATH bytes);
for the window also per-monitor DPI awareness and the common controls 6; and
the project's version.

    check_resources.py --version X.Y.Z [--window] EXE
"""

import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_VERSION, RT_MANIFEST = 16, 24
SUPPORTED_OS = {  # Windows 7, 8, 8.1, 10 and 11
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                   "version": "6.0.0.0", "processorArchitecture": "*",
                   "publicKeyToken": "6595b64144ccf1df", "language": "*"}

NAMESPACES = {"asm": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "compat": "urn:schemas-microsoft-com:compatibility.v1",
              "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
              "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
SETTINGS = "v3:application/v3:windowsSettings/"


def resources(image):
    """{(type, id): data} for the resources named by number, first language."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
    root_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    if root_rva == 0:
        return {}
    table = [struct.unpack_from("<8xIIII", image, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw_size, raw in table:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError("RVA %#x is in no section" % rva)

    root = offset(root_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, root + directory)
        for i in range(named, named + numbered):
            yield struct.unpack_from("<II", image, root + directory + 16 + 8 * i)

    found = {}
    for kind, types in entries(0):
        for name, languages in entries(types & 0x7FFFFFFF):
            language = next(entries(languages & 0x7FFFFFFF))[1]
            rva, size = struct.unpack_from("<II", image, root + language)
            found[(kind, name)] = image[offset(rva):offset(rva) + size]
    return found


def version_block(data, at=0):
    """The VS_VERSIONINFO node at `at`: key, value bytes, children, length."""
    length, value_length, text = struct.unpack_from("<HHH", data, at)
    end = at + 6
    while data[end:end + 2] != b"\0\0":
        end += 2
    key = data[at + 6:end].decode("utf-16-le")
    start = (end + 2 + 3) & ~3
    size = value_length * 2 if text else value_length
    value, child = data[start:start + size], (start + size + 3) & ~3
    children = []
    while child < at + length:
        children.append(version_block(data, child))
        child = (child + children[-1][3] + 3) & ~3
    return key, value, children, length


def version_strings(info):
    """The fixed file and product versions, and the first string table."""
    _, fixed, children, _ = info
    numbers = struct.unpack_from("<8x8H", fixed)  # each DWORD's low word first
    numbers = (numbers[1], numbers[0], numbers[3], numbers[2],
               numbers[5], numbers[4], numbers[7], numbers[6])
    strings = {}
    for key, _, tables, _ in children:
        if key == "StringFileInfo":
            strings = {name: value.decode("utf-16-le").rstrip("\0")
                       for name, value, _, _ in tables[0][2]}
    return numbers[:4], numbers[4:], strings


def manifest_faults(manifest, window):
    """Each entry where Windows looks for it: an element in another namespace
    or place is one Windows does not read."""
    root = ET.fromstring(manifest)  # raises on a manifest that is not well formed

    def found(path, read):
        return sorted(read(element) for element in root.findall(path, NAMESPACES))

    def text(element):
        return (element.text or "").strip()

    checks = [("root", (root.tag, root.get("manifestVersion")),
               ("{%s}assembly" % NAMESPACES["asm"], "1.0")),
              ("requestedExecutionLevel",
               found("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel",
                     lambda element: element.get("level")), ["asInvoker"]),
              ("supportedOS", found("compat:compatibility/compat:application/compat:supportedOS",
                                    lambda element: element.get("Id")), sorted(SUPPORTED_OS)),
              # In any namespace and place: neither may be asked for at all.
              ("activeCodePage", found(".//{*}activeCodePage", text), []),
              ("longPathAware", found(".//{*}longPathAware", text), [])]
    if window:
        checks += [("dpiAwareness", found(SETTINGS + "ws2016:dpiAwareness", text),
                    ["PerMonitorV2, PerMonitor"]),
                   ("dpiAware", found(SETTINGS + "ws2005:dpiAware", text), ["true/pm"]),
                   ("dependency", [dict(element.attrib) for element in root.findall(
                       "asm:dependency/asm:dependentAssembly/asm:assemblyIdentity", NAMESPACES)],
                    [COMMON_CONTROLS])]
    return ["%s: %r, not %r" % check for check in checks if check[1] != check[2]]


def version_faults(info, version, exe):
    file_version, product_version, strings = version_strings(version_block(info))
    numbers = tuple(int(part) for part in version.split(".")) + (0,)
    checks = [("fixed FileVersion", file_version, numbers),
              ("fixed ProductVersion", product_version, numbers),
              ("FileVersion", strings.get("FileVersion"), version),
              ("ProductVersion", strings.get("ProductVersion"), version),
              ("OriginalFilename", strings.get("OriginalFilename"), os.path.basename(exe))]
    return ["%s: %r, not %r" % check for check in checks if check[1] != check[2]]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--window", action="store_true")
    parser.add_argument("exe")
    options = parser.parse_args()
    with open(options.exe, "rb") as file:
        found = resources(file.read())
    faults = []
    if (RT_MANIFEST, 1) in found:
        faults += manifest_faults(found[(RT_MANIFEST, 1)], options.window)
    else:
        faults.append("no manifest (resource 1 of type 24)")
    if (RT_VERSION, 1) in found:
        faults += version_faults(found[(RT_VERSION, 1)], options.version, options.exe)
    else:
        faults.append("no version resource")
    for fault in faults:
        print("%s: %s" % (options.exe, fault), file=sys.stderr)
    if not faults:
        print("%s: manifest and version %s as expected" % (options.exe, options.version))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
