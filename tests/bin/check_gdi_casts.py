#!/usr/bin/python3
"""Fails when product source casts to a GDI handle type.

usage: check_gdi_casts.py SOURCE_ROOT
The owners in WinHandles.h are typed, so a cast means an untyped handle crept
back. A stock object (GetStockObject) keeps the one cast it needs.
"""
import pathlib
import re
import sys

PRODUCT_DIRS = ("framework", "controls", "app", "install", "demo")
GDI_TYPE = r"\s*H(?:BITMAP|BRUSH|FONT|PEN|RGN|PALETTE)\s*"
CAST = re.compile(rf"\b(?:static|reinterpret|const|dynamic)_cast\s*<{GDI_TYPE}>|\({GDI_TYPE}\)\s*[\w(]")

# The pattern itself must catch a cast, and let a stock object and a typed
# declaration pass, or a clean tree proves nothing.
for line, caught in (("FrameRect(DC, &R, static_cast<HBRUSH>(Outline.Get()));", True),
                     ("SelectObject(DC, (HFONT)Font);", True), ("auto B = reinterpret_cast< HPEN >(P);", True),
                     ("HBRUSH Interior = Brush.Get();", False), ("void Paint(HBITMAP Mask);", False)):
    assert bool(CAST.search(line)) == caught, line

found = []
for top in PRODUCT_DIRS:
    for path in sorted(pathlib.Path(sys.argv[1], top).rglob("*")):
        if path.suffix not in (".c", ".cpp", ".h", ".hpp"):
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            if CAST.search(line) and "GetStockObject" not in line:
                found.append(f"{path.relative_to(sys.argv[1])}:{number}: {line.strip()}")
print("\n".join(found) or "no casts to GDI handle types")
sys.exit(1 if found else 0)
