#!/usr/bin/python3
"""Checks the package maker's resource rewriter on the built program, reading the
result back with pefile: a new skin, a window description grown by 200 KiB (so the
resource section grows and .reloc moves) and a new application icon.

usage: check_rewrite.py REWRITER InstallerWin.exe VERSION WORKDIR

The rewritten program is left in WORKDIR/Rewritten.exe; it must still pass
check_binary.py's hardening, imports and identity checks.

usage: check_rewrite.py brand MKINSTALLER FORMC REWRITER InstallerWin.exe WORKDIR

brands the built program with the package maker as a distributor would, reads
the pictures back from its window description with formc, and checks what
branding refuses.
"""
import os
import shutil
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
            check(n.Misc_VirtualSize > o.Misc_VirtualSize + GROWTH, ".rsrc did not grow")
        else:
            prev = new.sections[i - 1]
            check(n.VirtualAddress == align(prev.VirtualAddress + prev.Misc_VirtualSize, sa),
                  f"{name} does not follow the section before it")
            check(n.PointerToRawData == prev.PointerToRawData + prev.SizeOfRawData, f"{name} is not where it belongs")
            check((n.Misc_VirtualSize, n.SizeOfRawData, n.Characteristics) ==
                  (o.Misc_VirtualSize, o.SizeOfRawData, o.Characteristics) and n.get_data() == o.get_data(),
                  f"{name} changed its contents")
    shift = new.sections[-1].VirtualAddress - old.sections[-1].VirtualAddress
    check(shift > GROWTH, ".reloc did not move")
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


# ---- Branding: the package maker on the built program ----------------------------------------

RT_RCDATA = 10


def ppm(path, width, height, seed):
    """A binary PPM of a gradient that differs with the seed."""
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            pixels += bytes(((x * 5 + seed * 70) & 0xFF, (y * 9 + seed * 30) & 0xFF, (x * y + seed) & 0xFF))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)


def jpeg(workdir, name, width, height, seed, *options):
    """A JPEG made by cjpeg (with its options) of a width x height picture."""
    source, path = os.path.join(workdir, name + ".ppm"), os.path.join(workdir, name)
    ppm(source, width, height, seed)
    subprocess.run([shutil.which("cjpeg") or "cjpeg", *options, "-outfile", path, source], check=True)
    return path


def bitmap(width, height, bits, seed):
    """An icon image as a bitmap: its header (height doubled for the mask), palette, pixels, mask."""
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = bytes((i * 13 + seed) & 0xFF for i in range(4 << bits)) if bits <= 8 else b""
    pixels = bytes((i * 7 + seed * 31) & 0xFF for i in range((width * bits + 31) // 32 * 4 * height))
    return header + palette + pixels + bytes((width + 31) // 32 * 4 * height)


def icon_file_of(images):
    """An icon file of (width, height, bit count, data) images, each entry as the file format describes it."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, bits, data in images:
        colours = 1 << bits if bits < 8 else 0
        directory += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, _, _, data in images)


def window_description(exe):
    pe = pefile.PE(exe)
    found = [v for k, v in resources(pe).items() if k[0] == RT_RCDATA and k[1] == "TINSTALLERFORM"]
    pe.close()
    check(len(found) == 1, f"{exe} has {len(found)} window descriptions")
    return found[0] if found else b""


def pictures(exe, formc, folder):
    """{file name: bytes} of the pictures formc saves from the program's window description."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "form.bin"), "wb") as f:
        f.write(window_description(exe))
    subprocess.run([formc, "dump", os.path.join(folder, "form.bin"), os.path.join(folder, "form.txt")], check=True)
    found = {}
    for name in os.listdir(folder):
        if name not in ("form.bin", "form.txt"):
            with open(os.path.join(folder, name), "rb") as f:
                found[name] = f.read()
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


def brand_main():
    mkinstaller, formc, rewriter, host, workdir = sys.argv[2:7]
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    at = lambda name: os.path.join(workdir, name)
    payload, output = at("Aurora.scr"), at("Install-Aurora.exe")
    with open(payload, "wb") as f:
        f.write(bytes(range(256)) * 4)

    def package(options, host_file=host):
        if os.path.exists(output):
            os.remove(output)
        return subprocess.run([mkinstaller, "--host", host_file, "--payload", payload, "--output", output, *options],
                              capture_output=True, text=True)

    def branded(options, host_file=host):
        done = package(options, host_file)
        check(done.returncode == 0, f"branding with {options} failed: {done.stderr}")
        return done.returncode == 0

    def refused(options, message, host_file=host):
        done = package(options, host_file)
        check(done.returncode == 1 and done.stderr == f"mkinstaller: {message}\n",
              f"{options}: exit {done.returncode}, {done.stderr!r}; want {message!r}")
        check(not os.path.exists(output), f"{options}: a package was written")

    background = jpeg(workdir, "background.jpg", 450, 304, 1)
    button = jpeg(workdir, "button.jpg", 28, 9, 2)
    hover = jpeg(workdir, "hover.jpg", 28, 9, 3)
    # Of the 32 x 32 images the 24-bit one has the most colours; wider or taller ones have more yet.
    images = [(16, 16, 32, bitmap(16, 16, 32, 1)), (32, 32, 8, bitmap(32, 32, 8, 2)),
              (32, 32, 24, bitmap(32, 32, 24, 3)), (32, 32, 4, bitmap(32, 32, 4, 4)),
              (32, 48, 32, bitmap(32, 48, 32, 5)), (48, 32, 32, bitmap(48, 32, 32, 6)),
              (48, 48, 32, bitmap(48, 48, 32, 7))]
    icon = at("icon.ico")
    with open(icon, "wb") as f:
        f.write(icon_file_of(images))
    title = icon_file_of([images[2]])

    original = pictures(host, formc, at("host-pictures"))
    button_pictures = ["MouseEffectImage1-Picture.jpg", "MouseEffectImage1-OriginPicture.jpg",
                       "MouseEffectImage1-DownPicture.jpg"]
    over, background_picture, title_picture = ("MouseEffectImage1-OverPicture.jpg", "Image1-Picture.jpg",
                                               "imgTitle-Picture.ico")
    check(set(button_pictures + [over, background_picture, title_picture]) == set(original),
          f"the host's window description holds the pictures {sorted(original)}")

    def expect(options, want):
        if not branded(options):
            return
        have = pictures(output, formc, at("branded-pictures"))
        for name in sorted(set(have) | set(want)):
            check(have.get(name) == want.get(name), f"{options}: {name} is not as given")

    everything = dict.fromkeys(button_pictures, read(button))
    everything.update({over: read(hover), background_picture: read(background), title_picture: title})
    expect(["--background", background, "--button", button, "--hover", hover, "--icon", icon], everything)
    expect(["--button", button], {**original, **dict.fromkeys(button_pictures, read(button))})
    expect(["--hover", hover], {**original, over: read(hover)})

    # Bytes after the stored description stay behind it: a host whose description has 7 more is branded
    # into the same description with the same 7 bytes.
    grown = at("Grown.exe")
    subprocess.run([rewriter, host, grown, payload, icon, "7"], check=True)
    check(window_description(grown) == window_description(host) + bytes(7), "the grown host is not as made")
    if branded(["--button", button]):
        plain = window_description(output)
        if branded(["--button", button], grown):
            check(window_description(output) == plain + bytes(7), "the bytes after the description were not kept")

    # A program that is not an InstallerWin program by its version information.
    data = bytearray(read(host))
    key = "ProductName\0".encode("utf-16-le")
    value = data.find("InstallerWin".encode("utf-16-le"), data.find(key) + len(key))
    check(data.find(key) > 0 and value > 0, "the host names no product")
    data[value:value + 24] = "OtherProduct".encode("utf-16-le")
    other = at("Other.exe")
    with open(other, "wb") as f:
        f.write(data)
    refused(["--skin", payload],
            f"host '{other}' is not an InstallerWin program: its version information names the product 'OtherProduct'",
            other)

    # FF D8 and then anything but FF starts no JPEG.
    not_jpeg = at("not-a-jpeg.jpg")
    data = bytearray(read(button))
    data[2] = 0
    with open(not_jpeg, "wb") as f:
        f.write(data)
    refused(["--button", not_jpeg], f"button '{not_jpeg}' is not a JPEG file")

    # A size wrong in one dimension is refused from the header alone: these are arithmetic-coded, which
    # the installer cannot decode, so only the right size gets as far as the decoder.
    for option, width, height, want in (("--button", 27, 9, "28 x 9"), ("--hover", 28, 10, "28 x 9"),
                                        ("--background", 449, 304, "450 x 304"),
                                        ("--background", 450, 303, "450 x 304")):
        path = jpeg(workdir, f"{width}x{height}.jpg", width, height, 4, "-arithmetic")
        refused([option, path], f"{option[2:]} '{path}' is {width} x {height} pixels; it must be {want}")
    arithmetic = jpeg(workdir, "arithmetic.jpg", 28, 9, 5, "-arithmetic")
    done = package(["--button", arithmetic])
    check(done.returncode == 1 and "cannot be decoded by the installer" in done.stderr,
          f"an arithmetic-coded button of the right size: {done.stderr!r}")

    for message in failures:
        print("FAIL:", message)
    print(f"branded {host} with {mkinstaller}: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(brand_main() if sys.argv[1:2] == ["brand"] else main())
