#!/usr/bin/env python3
"""The add-in library's include rule: a folder includes only from its own tier or below, and
no folders include each other, directly or round a longer loop.

    check-tiers.py [ROOT]      ROOT is the source tree (default: this script's tree)

Tiers, lowest first: base (with resources), features, widgets, composition. A folder is
addin/<tier>/<name>; files straight under a tier's folder belong to the tier itself. Prints
one line per fault and exits 1, or prints the folder graph's size and exits 0.
"""
import os
import re
import sys

TIERS = {"resources": 0, "base": 0, "features": 1, "widgets": 2, "composition": 3}
SOURCE = (".h", ".hpp", ".cpp", ".c", ".inc", ".rc", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(addin/[^"]+)"')


def folder_of(path):
    """addin/<tier>[/<name>] of a path under addin/, and its tier's rank; None outside."""
    parts = path.split("/")
    if len(parts) < 3 or parts[0] != "addin" or parts[1] not in TIERS:
        return None, None
    folder = "/".join(parts[:3]) if len(parts) > 3 else "/".join(parts[:2])
    return folder, TIERS[parts[1]]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = []
    edges = {}
    for dirpath, _, names in os.walk(os.path.join(root, "addin")):
        for name in sorted(names):
            if not name.endswith(SOURCE):
                continue
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root).replace(os.sep, "/")
            folder, rank = folder_of(rel)
            if folder is None:
                faults.append(f"{rel}: not in a tier ({', '.join(TIERS)})")
                continue
            with open(full, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    tfolder, trank = folder_of(target)
                    if tfolder is None:
                        faults.append(f"{rel}:{number}: includes {target}, which is in no tier")
                    elif trank > rank:
                        faults.append(f"{rel}:{number}: includes {target} from a higher tier")
                    elif not os.path.exists(os.path.join(root, target)):
                        faults.append(f"{rel}:{number}: includes {target}, which does not exist")
                    elif tfolder != folder:
                        edges.setdefault(folder, set()).add(tfolder)
    # Folders that include each other: every loop in the folder graph, found from its
    # smallest folder so that each is named once.
    loops = set()

    def walk(start, node, path):
        for nxt in sorted(edges.get(node, ())):
            if nxt == start:
                loops.add(" -> ".join(path + [start]))
            elif nxt > start and nxt not in path:
                walk(start, nxt, path + [nxt])

    for start in sorted(edges):
        walk(start, start, [start])
    faults += [f"folders include each other: {loop}" for loop in sorted(loops)]
    for fault in faults:
        print(fault)
    if faults:
        return 1
    count = sum(len(v) for v in edges.values())
    print(f"tiers: {len(set(edges) | set().union(*edges.values()))} folders, {count} includes between folders, all downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
