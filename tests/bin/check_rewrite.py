#!/usr/bin/python3
"""Checks the package maker's resource rewriter on the built program, reading the
result back with pefile: a new skin, a window description grown by 200 KiB (so the
resource section grows and .reloc moves) and a new application icon.

usage: check_rewrite.py REWRITER InstallerWin.exe VERSION WORKDIR

The rewritten program is left in WORKDIR/Rewritten.exe; it must still pass
check_binary.py's hardening, imports and identity checks.
"""
import os
import struct
import subprocess
import sys

import pefile

GROWTH = 200 * 1024
RT_ICON, RT_GROUP_ICON = 3, 14
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def dib(size, colour):
    """A 32-bit icon image: its header (height doubled for the mask), pixels, an empty mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes(colour) * (size * size) + bytes(size * size // 8)


def icon_file(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, data in images)


def resources(pe):
    """{(type, name, language): bytes} of every leaf; names as strings, ids as numbers."""
    key = lambda entry: str(entry.name) if entry.name is not None else entry.id
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                data = lang.data.struct
                found[(key(t), key(n), lang.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def group_entries(data):
    """(width, bytes, id) of each image an icon group lists."""
    _, kind, count = struct.unpack_from("<HHH", data)
    check(kind == 1 and len(data) == 6 + 14 * count, "the icon group's directory is malformed")
    return [(e[0], e[6], e[7]) for e in (struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count))]


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def initialized_data(pe):
    # What our linker writes: the aligned raw sizes of the sections holding initialised data.
    fa = pe.OPTIONAL_HEADER.FileAlignment
    return sum(align(s.SizeOfRawData, fa) for s in pe.sections if s.Characteristics & 0x40)


def main():
    rewriter, host, version, workdir = sys.argv[1:5]
    os.makedirs(workdir, exist_ok=True)
    skin = os.path.join(workdir, "skin.mskn")
    icon = os.path.join(workdir, "icon.ico")
    output = os.path.join(workdir, "Rewritten.exe")
    skin_data = bytes((i * 37 + 11) & 0xFF for i in range(5000))
    images = [(32, dib(32, (0, 0, 255, 255))), (16, dib(16, (0, 255, 0, 255))), (48, dib(48, (255, 0, 0, 255)))]
    with open(skin, "wb") as f:
        f.write(skin_data)
    with open(icon, "wb") as f:
        f.write(icon_file(images))
    if os.path.exists(output):
        os.remove(output)
    subprocess.run([rewriter, host, output, skin, icon, str(GROWTH)], check=True)

    old, new = pefile.PE(host), pefile.PE(output)
    # The 200 KiB of zeros asked for above are most of a small program, which
    # pefile's share-of-zero-bytes guess takes for truncation; any other warning counts.
    warnings = [w for w in new.get_warnings() if not w.startswith("Byte 0x00 makes up")]
    check(not warnings, f"pefile warns: {warnings}")

    # Resources: the three replaced as asked, every other one byte for byte.
    before, after = resources(old), resources(new)
    check(after.get(("EXEFILE", "SKINRES", 1033)) == skin_data, "the skin was not replaced")
    form = ("TINSTALLERFORM", 10)
    old_form = [v for k, v in before.items() if (k[1], k[0]) == form]
    new_form = [v for k, v in after.items() if (k[1], k[0]) == form]
    check(len(old_form) == 1 and new_form == [old_form[0] + bytes(GROWTH)], "the description did not grow as asked")
    group = after.get((RT_GROUP_ICON, "MAINICON", 1033))
    check(group is not None, "MAINICON is gone or changed its language")
    listed = group_entries(group) if group else []
    check([(w, size) for w, size, _ in listed] == [(s, len(d)) for s, d in images], f"MAINICON lists {listed}")
    for (size, data), (_, _, ident) in zip(images, listed):
        check(after.get((RT_ICON, ident, 1033)) == data, f"icon image {ident} does not hold the {size}x{size} image")
    check({k[1] for k in after if k[0] == RT_ICON} == {ident for _, _, ident in listed}, "old icon images remain")
    replaced = {("EXEFILE", "SKINRES", 1033), (RT_GROUP_ICON, "MAINICON", 1033)}
    for k, v in before.items():
        if k in replaced or k[0] == RT_ICON or (k[1], k[0]) == form:
            continue
        check(after.get(k) == v, f"resource {k} changed or went")
    check(len(after) == len(before) - sum(k[0] == RT_ICON for k in before) + len(images), "resources were added")

    # What the resources grow by at least: the description's growth, less the
    # host's icon images where the new icon is smaller (the host carries its
    # icon at many sizes).
    growth = GROWTH + sum(len(d) for _, d in images) - sum(len(v) for k, v in before.items() if k[0] == RT_ICON)

    # Sections: those before .rsrc untouched, .rsrc sized to its tree, the rest moved whole.
    names = [s.Name.rstrip(b"\0") for s in old.sections]
    check(names == [s.Name.rstrip(b"\0") for s in new.sections], "the section table changed")
    rsrc = names.index(b".rsrc")
    check(rsrc == len(names) - 2 and names[-1] == b".reloc", "the host's layout is not the one this check expects")
    oh, nh = old.OPTIONAL_HEADER, new.OPTIONAL_HEADER
    fa, sa = nh.FileAlignment, nh.SectionAlignment
    for i, (o, n) in enumerate(zip(old.sections, new.sections)):
        name = names[i].decode()
        if i < rsrc:
            check(o.__pack__() == n.__pack__() and o.get_data() == n.get_data(), f"{name} changed")
            continue
        check(n.VirtualAddress % sa == 0 and n.PointerToRawData % fa == 0 and n.SizeOfRawData % fa == 0,
              f"{name} is not aligned")
        if i == rsrc:
            directory = new.OPTIONAL_HEADER.DATA_DIRECTORY[2]
            check((n.VirtualAddress, n.PointerToRawData) == (o.VirtualAddress, o.PointerToRawData), ".rsrc moved")
            check((directory.VirtualAddress, directory.Size) == (n.VirtualAddress, n.Misc_VirtualSize),
                  "the resource directory does not match .rsrc")
            check(n.Misc_VirtualSize > o.Misc_VirtualSize + growth, ".rsrc did not grow")
        else:
            prev = new.sections[i - 1]
            check(n.VirtualAddress == align(prev.VirtualAddress + prev.Misc_VirtualSize, sa),
                  f"{name} does not follow the section before it")
            check(n.PointerToRawData == prev.PointerToRawData + prev.SizeOfRawData, f"{name} is not where it belongs")
            check((n.Misc_VirtualSize, n.SizeOfRawData, n.Characteristics) ==
                  (o.Misc_VirtualSize, o.SizeOfRawData, o.Characteristics) and n.get_data() == o.get_data(),
                  f"{name} changed its contents")
    shift = new.sections[-1].VirtualAddress - old.sections[-1].VirtualAddress
    check(shift > growth, ".reloc did not move")
    relocations = [d.VirtualAddress for d in (oh.DATA_DIRECTORY[5], nh.DATA_DIRECTORY[5])]
    check(relocations[1] == relocations[0] + shift and oh.DATA_DIRECTORY[5].Size == nh.DATA_DIRECTORY[5].Size,
          "the relocation directory did not follow .reloc")
    entries = lambda pe: [(b.struct.VirtualAddress, [(e.rva, e.type) for e in b.entries])
                          for b in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])]
    check(entries(old) == entries(new), "the relocations read differently")
    last = new.sections[-1]
    check(nh.SizeOfImage == align(last.VirtualAddress + last.Misc_VirtualSize, sa), "SizeOfImage is wrong")
    check(oh.SizeOfInitializedData == initialized_data(old) and nh.SizeOfInitializedData == initialized_data(new),
          "SizeOfInitializedData is not the sum of the initialised sections")
    check(len(new.__data__) == last.PointerToRawData + last.SizeOfRawData, "the file does not end with .reloc")
    check(oh.CheckSum == old.generate_checksum(), "the built program's checksum is not valid")
    check(nh.CheckSum == new.generate_checksum(), f"checksum {nh.CheckSum:#x}, want {new.generate_checksum():#x}")

    checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_binary.py")
    for what in (["hardening"], ["imports"], ["identity", version]):
        done = subprocess.run([sys.executable, checker, what[0], output] + what[1:])
        check(done.returncode == 0, f"the rewritten program fails check_binary.py {what[0]}")

    for message in failures:
        print("FAIL:", message)
    print(f"{output}: {len(after)} resources, .rsrc {new.sections[rsrc].Misc_VirtualSize} bytes, "
          f".reloc moved by {shift:#x}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
