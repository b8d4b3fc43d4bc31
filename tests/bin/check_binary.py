#!/usr/bin/python3
"""Checks the built installer program as Windows will see it, and the archives
that ship it.

usage: check_binary.py CHECK InstallerWin.exe [VERSION]
       check_binary.py archives DIST-DIR VERSION
CHECK is one of:
  imports    only KnownDLLs (so none of MinGW's runtime), nothing delay-loaded,
             and the DLL search is confined at start-up
  hardening  ASLR with high-entropy addresses and relocations, DEP
  identity   version information and the manifest (administrator, Windows 7 to 11,
             per-monitor density awareness)
  size       the program's code and its artwork, each within its budget
  archives   scripts/release's .deb and zip hold exactly their files, with
             their modes
"""
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET

import pefile

# The DLLs Windows 7 to 11 always take from the system folder (KnownDLLs). For
# any other static import the loader looks in the program's own folder first,
# before the program can confine the search, so a DLL planted there would run.
KNOWN_DLLS = {name + ".dll" for name in (
    "advapi32", "clbcatq", "comdlg32", "difxapi", "gdi32", "imagehlp", "imm32", "kernel32", "msctf", "msvcrt",
    "normaliz", "nsi", "ole32", "oleaut32", "psapi", "rpcrt4", "sechost", "setupapi", "shell32", "shlwapi",
    "user32", "wldap32", "ws2_32")}
# Code and artwork are budgeted apart. The code (the image without its
# resource section) had 234 KiB beside 26 KiB of resources; dense screens
# (pictures decoded scaled, forms laid out for the density) may add 16 KiB to
# that, the objects that screen readers read A11Y_KIB more, and making the
# install safe where Windows is stricter than Wine (a replace that stops
# half-way, the user at the desk by any name and from another account, one
# install at a time, the keyboard) MENDS_KIB more. The artwork:
# the window description with its pictures, the double-size pictures, and the
# program's icon at every size it carries.
# The user's language (choosing a string table, reading a text from it, and
# showing the question, the errors, the caption and the reader's texts
# through it) measured 3,400 bytes. Its string tables, all languages
# together, have a budget of their own, apart from the artwork.
A11Y_KIB = 10
MENDS_KIB = 4
LANGUAGES_BYTES = 3400
CODE_BUDGET = (234 + 16 + A11Y_KIB + MENDS_KIB) * 1024 + LANGUAGES_BYTES
TEXT_BUDGET = 32 * 1024
ART_BUDGET = 128 * 1024
ART_RESOURCES = {"TINSTALLERFORM", "TINSTALLERFORM2X"}
ART_TYPES = {pefile.RESOURCE_TYPE["RT_ICON"], pefile.RESOURCE_TYPE["RT_GROUP_ICON"]}
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
# Density awareness: Windows reads each setting only in its own namespace.
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
# The per-density functions of Windows 10 1607 on, looked up by name at run
# time, so that Windows 7 to 8.1 still load the program.
LOOKED_UP_USER32 = ("GetDpiForSystem", "GetDpiForWindow", "AdjustWindowRectExForDpi", "GetSystemMetricsForDpi")

# What the archives hold: the programs, their papers, and the CMake package in
# one place under each archive's prefix.
CMAKE_PACKAGE = [f"lib/cmake/InstallerWin/{name}.cmake"
                 for name in ("AddScreensaverInstaller", "InstallerWinConfig", "InstallerWinConfigVersion")]
DEB_FILES = {
    **{f"usr/bin/{tool}": 0o755 for tool in ("mkinstaller", "formc")},
    **{f"usr/share/man/man1/{tool}.1.gz": 0o644 for tool in ("mkinstaller", "formc")},
    "usr/share/installerwin/InstallerWin.exe": 0o644,
    **{f"usr/share/doc/installerwin/{name}": 0o644 for name in ("README.md.gz", "changelog.gz", "copyright")},
    "usr/share/lintian/overrides/installerwin": 0o644,
    **{f"usr/{name}": 0o644 for name in CMAKE_PACKAGE},
}
ZIP_FILES = {
    **{name: 0o755 for name in ("InstallerWin.exe", "mkinstaller.exe", "formc.exe")},
    **{name: 0o644 for name in ("README.txt", "LICENSE.txt", "libjpeg-turbo/LICENSE.md",
                                "libjpeg-turbo/README.ijg.txt", "libjpeg-turbo/LICENSE.zlib.txt")},
    **{name: 0o644 for name in CMAKE_PACKAGE},
}

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def check_imports(pe, path):
    imported = {entry.dll.decode().lower(): entry for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    print("imports:", " ".join(sorted(imported)))
    check("kernel32.dll" in imported, "no import table was read")
    for dll in sorted(set(imported) - KNOWN_DLLS):
        check(False, f"imports {dll}, which is not a KnownDLL: a copy beside the program would be loaded")
    check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "has delay-loaded imports")
    kernel = {imp.name.decode() for imp in imported.get("kernel32.dll").imports if imp.name} \
        if "kernel32.dll" in imported else set()
    check("SetSearchPathMode" in kernel, "does not import SetSearchPathMode")
    # Looked up by name at run time, so that Windows 7 without the update still loads the program.
    check("SetDefaultDllDirectories" not in kernel, "imports SetDefaultDllDirectories directly")
    check(b"SetDefaultDllDirectories\0" in open(path, "rb").read(), "never looks up SetDefaultDllDirectories")
    user = {imp.name.decode() for imp in imported.get("user32.dll").imports if imp.name} \
        if "user32.dll" in imported else set()
    for name in LOOKED_UP_USER32:
        check(name not in user, f"imports {name} directly, which Windows 7 lacks")


def check_hardening(pe, path):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    print(f"DllCharacteristics: {flags:#06x}")
    for bit, name in ((0x0040, "dynamic base (ASLR)"), (0x0020, "high-entropy VA"), (0x0100, "NX compatible (DEP)")):
        check(flags & bit, f"not {name}")
    relocs = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(relocs.Size > 0, "no base relocations: the loader cannot move the image")
    check(not pe.FILE_HEADER.Characteristics & 0x0001, "relocations stripped")
    check(pe.OPTIONAL_HEADER.ImageBase > 0xFFFFFFFF, "image base below 4 GiB")


def resource_data(pe, type_id):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in resources.entries if resources else []:
        if entry.id == type_id:
            leaf = entry.directory.entries[0].directory.entries[0]
            return entry.directory.entries[0].id, pe.get_data(leaf.data.struct.OffsetToData, leaf.data.struct.Size)
    return None, None


def check_identity(pe, path, version):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    print("version information:", strings)
    for key, want in (("ProductName", "InstallerWin"), ("FileDescription", "Screensaver installer"),
                      ("FileVersion", version), ("ProductVersion", version),
                      ("OriginalFilename", "InstallerWin.exe")):
        check(strings.get(key) == want, f"{key} is {strings.get(key)!r}, want {want!r}")
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    parts = [int(p) for p in version.split(".")] + [0]
    check(fixed is not None and (fixed.FileVersionMS, fixed.FileVersionLS) ==
          (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]), "fixed file version differs from " + version)

    ident, manifest = resource_data(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    check(ident == 1, f"no process manifest (resource 1 of type RT_MANIFEST), found {ident}")
    if manifest is None:
        return
    root = ET.fromstring(manifest)
    levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    print("execution level:", levels)
    check(levels == [("requireAdministrator", "false")], f"execution level is {levels}")
    settings = [e for app in root.findall(ASM_V3 + "application") for e in app.findall(ASM_V3 + "windowsSettings")]
    check(len(settings) == 1, f"{len(settings)} windowsSettings under an asm.v3 application, want 1")
    for namespace, tag, want in ((SETTINGS_2005, "dpiAware", "true/pm"),
                                 (SETTINGS_2016, "dpiAwareness", "PerMonitorV2, PerMonitor")):
        found = [(e.text or "").strip() for s in settings for e in s.findall(namespace + tag)]
        print(f"{tag}:", found)
        check(found == [want], f"{tag} in {namespace[1:-1]} is {found}, want {[want]}")
    supported = {e.get("Id").lower() for e in root.iter(COMPAT + "supportedOS")}
    print("supported systems:", sorted(SUPPORTED_OS.get(s, s) for s in supported))
    check(supported == set(SUPPORTED_OS), f"supported systems are {sorted(supported)}")


def artwork_bytes(pe):
    """The bytes of the artwork resources, named ones of any type and icons."""
    total = 0
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        for entry in kind.directory.entries:
            if kind.id in ART_TYPES or (entry.name is not None and str(entry.name) in ART_RESOURCES):
                for leaf in entry.directory.entries:
                    size = leaf.data.struct.Size
                    print(f"  artwork: {str(entry.name) if entry.name else entry.id} ({size} bytes)")
                    total += size
    return total


def text_bytes(pe):
    """The bytes of the string tables, every language's."""
    total = 0
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id == pefile.RESOURCE_TYPE["RT_STRING"]:
            for entry in kind.directory.entries:
                for leaf in entry.directory.entries:
                    total += leaf.data.struct.Size
    return total


def code_bytes(pe):
    """The image without its resource section."""
    return len(pe.__data__) - sum(s.SizeOfRawData for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")


def check_size(pe, path):
    size = len(pe.__data__)
    art = artwork_bytes(pe)
    code = code_bytes(pe)
    texts = text_bytes(pe)
    print(f"size: {size} bytes ({size / 1024:.1f} KiB)")
    print(f"code: {code} bytes ({code / 1024:.1f} KiB), budget {CODE_BUDGET} bytes ({CODE_BUDGET / 1024:.1f} KiB)")
    print(f"artwork: {art} bytes ({art / 1024:.1f} KiB), budget {ART_BUDGET // 1024} KiB")
    print(f"texts: {texts} bytes ({texts / 1024:.1f} KiB), budget {TEXT_BUDGET // 1024} KiB")
    check(not hasattr(pe, "DIRECTORY_ENTRY_DEBUG") and not any(s.Name.startswith(b".debug") for s in pe.sections),
          "not stripped")
    check(art > 0, "no artwork found: the window description is missing")
    check(code <= CODE_BUDGET, f"code of {code} bytes is over its budget of {CODE_BUDGET}")
    check(art <= ART_BUDGET, f"artwork of {art} bytes is over its budget of {ART_BUDGET}")
    check(texts > 0, "no string tables found: the program speaks no language")
    check(texts <= TEXT_BUDGET, f"string tables of {texts} bytes are over their budget of {TEXT_BUDGET}")


def check_listing(archive, got, want):
    for name in sorted(want.keys() - got.keys()):
        check(False, f"{archive} lacks {name}")
    for name in sorted(got.keys() - want.keys()):
        check(False, f"{archive} holds {name}, which it never held")
    for name in sorted(want.keys() & got.keys()):
        check(got[name] == want[name], f"{archive}: {name} has mode {got[name]:o}, not {want[name]:o}")


def check_archives(dist, version):
    deb = f"{dist}/installerwin_{version}_amd64.deb"
    listing = subprocess.run(["dpkg-deb", "--contents", deb], capture_output=True, text=True, check=True).stdout
    got = {}
    for line in listing.splitlines():
        mode, _owner, _size, _date, _time, name = line.split(None, 5)
        if mode.startswith("-"):
            bits = mode[1:]
            got[name.removeprefix("./")] = sum(1 << (8 - i) for i, bit in enumerate(bits) if bit != "-")
    print(f"{deb}: {len(got)} files")
    check_listing(deb, got, DEB_FILES)

    folder = f"InstallerWin-{version}-win64"
    path = f"{dist}/{folder}.zip"
    with zipfile.ZipFile(path) as archive:
        entries = archive.infolist()
    got = {}
    for entry in entries:
        check(entry.filename.startswith(folder + "/"), f"{path}: {entry.filename} lies outside {folder}/")
        if not entry.is_dir():
            got[entry.filename.removeprefix(folder + "/")] = (entry.external_attr >> 16) & 0o7777
    print(f"{path}: {len(got)} files")
    check_listing(path, got, ZIP_FILES)


def main():
    what, path = sys.argv[1], sys.argv[2]
    if what == "archives":
        check_archives(path, sys.argv[3])
    elif what == "identity":
        check_identity(pefile.PE(path), path, sys.argv[3])
    else:
        {"imports": check_imports, "hardening": check_hardening, "size": check_size}[what](pefile.PE(path), path)
    for message in failures:
        print("FAIL:", message)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
