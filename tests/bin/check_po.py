#!/usr/bin/env python3
"""Checks the translations as gettext's own tool sees them.

Each PO file must pass `msgfmt --check --statistics` with every message
translated (none untranslated, none fuzzy), and its header must name its
Language: and say charset=UTF-8.

usage: check_po.py FILE.po...
"""
import re
import subprocess
import sys

failures = []
for path in sys.argv[1:]:
    result = subprocess.run(["msgfmt", "--check", "--statistics", "-o", "/dev/null", path],
                            capture_output=True, text=True)
    report = (result.stdout + result.stderr).strip()
    print(f"{path}: {report}")
    if result.returncode != 0:
        failures.append(f"{path}: msgfmt failed: {report}")
    elif not re.fullmatch(r"\d+ translated messages?\.", report):
        failures.append(f"{path}: not every message is translated: {report}")
    text = open(path, encoding="utf-8", errors="replace").read()
    header = re.search(r'^msgid ""\nmsgstr ""\n((?:".*"\n)*)', text, re.M)
    header = header.group(1) if header else ""
    if not re.search(r'^"Language: [A-Za-z_]+\\n"$', header, re.M):
        failures.append(f"{path}: the header names no Language:")
    if not re.search(r'^"Content-Type: text/plain; charset=UTF-8\\n"$', header, re.M):
        failures.append(f"{path}: the header does not say charset=UTF-8")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
