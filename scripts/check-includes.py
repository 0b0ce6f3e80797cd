#!/usr/bin/env python3
"""Fails when two folders of the program include each other: includes point one way, from app/ on
top down to platform/ at the bottom. Prints the folder graph."""
import os
import re
import subprocess
import sys

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
files = subprocess.run(["git", "ls-files"], capture_output=True, text=True, check=True).stdout.split()
known = set(files)
edges = set()
for f in files:
    if not re.search(r"\.(cpp|h|hpp)$", f) or "/" not in f or f.startswith(("tests/", "fuzz/", "bench/")):
        continue
    top = f.split("/")[0]
    for line in open(f, errors="replace"):
        m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
        if m and m.group(1) in known and "/" in m.group(1) and m.group(1).split("/")[0] != top:
            edges.add((top, m.group(1).split("/")[0]))
for a in sorted({a for a, _ in edges}):
    print("%-9s -> %s" % (a, " ".join(sorted(b for x, b in edges if x == a))))
both = sorted({tuple(sorted(e)) for e in edges if (e[1], e[0]) in edges})
if both:
    print("folders that include each other: " + ", ".join("%s<->%s" % p for p in both))
    sys.exit(1)
