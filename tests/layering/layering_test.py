#!/usr/bin/env python3
"""layering_test.py - no platform area reaches up to an area above it.

The areas and what each may use are declared once, in cmake/platform.cmake;
the build writes them to BUILD/areas.txt ("area:dep dep ..." a line). Two
checks against that list:

  includes  every #include "AREA/..." of a file in platform/AREA names the
            file's own area or one it may use, and of an area that keeps
            its records private only the headers it offers (the front
            ends see the window manager through user/query.h and
            user/ui.h, never the window record); the system's code
            (support, script, setup, registry, language) includes no
            platform header other than platform/include's
  links     every symbol that an area's library takes from another area's
            library comes from one it may use (nm over BUILD/libceplat_*.a)

Usage: layering_test.py includes|links SOURCE BUILD. Prints one line per
upward use and exits 1 when there is any.
"""
import os
import re
import subprocess
import sys

# Files kept in another area's folder: the thread's last error lies under
# kernel/ but is its own area, below text.
FILE_AREAS = {"kernel/lasterror.cpp": "lasterror", "gdi/font.cpp": "font", "device/client.cpp": "client"}
# Above every area: they may use anything.
TOP = {"font": {"gdi"}, "client": {"device"}}
SYSTEM_FOLDERS = ["support", "script", "setup", "registry", "language"]
# (area, used area): the only headers of the used area the area may include.
PUBLIC_HEADERS = {("frontends", "user"): {"user/query.h", "user/ui.h", "user/resources.h"}}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def read_areas(build):
    allowed = {}
    with open(os.path.join(build, "areas.txt")) as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            name, _, deps = line.partition(":")
            allowed[name] = set(deps.split())
    # What an area may use includes what its dependencies may use.
    changed = True
    while changed:
        changed = False
        for name, deps in allowed.items():
            more = set().union(*(allowed.get(d, set()) for d in deps)) - deps
            if more:
                deps |= more
                changed = True
    for name, deps in TOP.items():
        allowed[name] = set(deps) | set().union(*(allowed[d] for d in deps))
    return allowed


def area_of(rel):
    """The area of a file given relative to platform/ (None outside the areas)."""
    if rel in FILE_AREAS:
        return FILE_AREAS[rel]
    return rel.split("/", 1)[0]


def check_includes(source, allowed):
    folders = {a for a in allowed if os.path.isdir(os.path.join(source, "platform", a))}
    problems = []
    platform = os.path.join(source, "platform")
    for folder in sorted(folders):
        for root, _, files in os.walk(os.path.join(platform, folder)):
            for name in sorted(files):
                path = os.path.join(root, name)
                rel = os.path.relpath(path, platform)
                area = area_of(rel)
                if area not in allowed:
                    continue
                with open(path, encoding="utf-8", errors="replace") as f:
                    for inc in INCLUDE.findall(f.read()):
                        used = inc.split("/", 1)[0]
                        if "/" in inc and used in folders and used != area and used not in allowed[area]:
                            problems.append("%s includes %s: %s may use only %s" % (
                                rel, inc, area, " ".join(sorted(allowed[area])) or "nothing"))
                        elif inc not in PUBLIC_HEADERS.get((area, used), {inc}):
                            problems.append("%s includes %s: %s may include of %s only %s" % (
                                rel, inc, area, used, " ".join(sorted(PUBLIC_HEADERS[(area, used)]))))
    for folder in SYSTEM_FOLDERS:
        for root, _, files in os.walk(os.path.join(source, folder)):
            for name in sorted(files):
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for inc in INCLUDE.findall(f.read()):
                        first = inc.split("/", 1)[0]
                        if first == "platform" or (first in folders and first not in SYSTEM_FOLDERS):
                            problems.append("%s includes %s: the system's code sees platform/include only" % (
                                os.path.relpath(path, source), inc))
    return problems


def nm(path):
    out = subprocess.run(["nm", "-A", path], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        # archive.a:member.o: [value] TYPE name
        head, _, rest = line.rpartition(": ")
        member = head.rsplit(":", 1)[-1]
        fields = rest.split()
        if len(fields) >= 2:
            yield member, fields[-2], fields[-1]


def check_links(build, allowed):
    defined, wanted = {}, []
    for area in allowed:
        lib = os.path.join(build, "libceplat_%s.a" % area)
        if not os.path.exists(lib):
            continue
        for member, kind, name in nm(lib):
            if kind in "TDBR":
                defined.setdefault(name, area)
            elif kind == "U":
                wanted.append((area, member, name))
    if len(set(defined.values())) < 5:
        return ["only %d area libraries found under %s: build first" % (len(set(defined.values())), build)]
    upward = sorted({(area, member, name, defined[name]) for area, member, name in wanted
                     if defined.get(name, area) != area and defined[name] not in allowed[area]})
    names = subprocess.run(["c++filt"], input="\n".join(u[2] for u in upward), capture_output=True,
                           text=True).stdout.splitlines() if upward else []
    return ["%s (%s) uses %s of %s: %s may use only %s" % (
        member, area, names[i] if i < len(names) else name, owner, area,
        " ".join(sorted(allowed[area])) or "nothing") for i, (area, member, name, owner) in enumerate(upward)]


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("includes", "links"):
        print(__doc__.strip().splitlines()[-3], file=sys.stderr)
        return 2
    mode, source, build = sys.argv[1:]
    allowed = read_areas(build)
    problems = check_includes(source, allowed) if mode == "includes" else check_links(build, allowed)
    for p in problems:
        print("upward: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
