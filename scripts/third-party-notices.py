#!/usr/bin/python3
# Writes THIRD-PARTY-NOTICES.txt for the Windows programs from what their linker maps
# say was linked into them:
#   third-party-notices.py --build BUILD --out FILE PROGRAM.map...
# Every archive member and object file in a map is the project's own (below BUILD), a
# part of a prefix whose licenses/components.json (scripts/collect-licenses.py) claims
# it, or a part of the MinGW toolchain (packaging/notices/toolchain.json, licence texts
# from Debian's packages). Anything else stops it with exit code 1, naming the library:
# nothing is linked that the notices do not name.
import argparse
import fnmatch
import json
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MEMBER = re.compile(r"^(\S+\.a)\((.+)\)$")
LOAD = re.compile(r"^LOAD (\S+)$")
RULE = "=" * 78


def linked_inputs(map_path, linked_in):
    """(file, member) pairs the linker took: members of archives, and object files.
    Relative paths are the linker's, which ran in `linked_in`."""
    inputs = set()
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            member = MEMBER.match(line)
            load = LOAD.match(line)
            if member:
                path, name = member.group(1), member.group(2)
            elif load and not load.group(1).endswith(".a") and "." in os.path.basename(load.group(1)):
                path, name = load.group(1), None
            else:
                continue
            inputs.add((os.path.normpath(os.path.join(linked_in, path)), name))
    return inputs


def prefix_of(path):
    """The third-party prefix holding `path`: the nearest folder above with licenses/."""
    folder = os.path.dirname(path)
    while folder not in ("/", ""):
        if os.path.isfile(os.path.join(folder, "licenses", "components.json")):
            return folder
        folder = os.path.dirname(folder)
    return None


def load_prefix(prefix, cache):
    if prefix not in cache:
        with open(os.path.join(prefix, "licenses", "components.json")) as f:
            components = json.load(f)
        for component in components:
            component["files"] = [os.path.join(prefix, "licenses", name)
                                  for name in component["files"]]
        cache[prefix] = components
    return cache[prefix]


def package_version(package):
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                            capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else "unknown"


def claims(component, prefix, path, member):
    relative = os.path.relpath(path, prefix)
    if not any(fnmatch.fnmatch(relative, pattern) for pattern in component["archives"]):
        return False
    return "objects" not in component or member in component["objects"]


def find_components(inputs, build, toolchain):
    """The components linked, and the inputs nobody claims."""
    prefixes = {}
    found = {}
    unnamed = set()
    for path, member in sorted(inputs, key=lambda item: (item[0], item[1] or "")):
        if path.startswith(build + os.sep):
            continue
        prefix = prefix_of(path)
        if prefix:
            matched = [c for c in load_prefix(prefix, prefixes) if claims(c, prefix, path, member)]
        else:
            matched = [c for c in toolchain
                       if any(fnmatch.fnmatch(path, pattern) for pattern in c["paths"])][:1]
        for component in matched:
            found[component["id"]] = component
        if not matched:
            unnamed.add(path)
    return found, unnamed


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().replace("\r\n", "\n").rstrip() + "\n"


def relink_note(component):
    return (
        "This library is linked statically. To run the programs with a modified version\n"
        "of it: the complete source of the Rivet device tools of this release (the same\n"
        "place as this package, at the release's tag) holds scripts/build-qt-windows.sh,\n"
        "which builds it from the source named above with the configure line written\n"
        "there (apt-get source on Debian 12 fetches that source), and\n"
        "scripts/build-windows.sh, which links the programs against the library built\n"
        "(RIVET_QT_WINDOWS names another build of it). The same version's upstream\n"
        "source is also at https://download.qt.io/archive/qt/ .\n")


def render(components):
    lines = [
        "Third-party software in the Rivet device tools for Windows",
        "",
        "updater.exe, monitor.exe and fwtool.exe are under the MIT licence (LICENSE).",
        "They carry the components below, linked statically. For each: its licence,",
        "where its source comes from, and its licence texts as they are in the source",
        "that was built.",
        "",
    ]
    lines += ["  - %s: %s" % (c["name"], c["license"]) for c in components]
    shown = {}
    for number, component in enumerate(components, 1):
        lines += ["", RULE, "%d. %s" % (number, component["name"]), RULE, ""]
        lines.append("Licence: %s" % (component.get("licenseName") or component["license"]))
        if component.get("version"):
            lines.append("Version: %s" % component["version"])
        lines.append("Source: %s" % component["source"])
        if component.get("copyright"):
            lines.append("Copyright:")
            lines += ["  " + line.strip() for line in component["copyright"].splitlines()]
        if component.get("relink"):
            lines += [""] + relink_note(component).splitlines()
        for path in component["files"]:
            text = read_text(path)
            lines.append("")
            if text in shown:
                lines.append("Licence text: the same as %s, above." % shown[text])
                continue
            shown[text] = "for %s" % component["name"]
            lines += ["-" * 78, text.rstrip("\n"), "-" * 78]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the build folder: what is ours")
    parser.add_argument("--out", required=True)
    parser.add_argument("--toolchain", default=os.path.join(ROOT, "packaging/notices/toolchain.json"))
    parser.add_argument("maps", nargs="+")
    args = parser.parse_args()

    with open(args.toolchain) as f:
        toolchain = json.load(f)
    for component in toolchain:
        component["archives"] = []
        component["version"] = package_version(component["package"])
        component["source"] = "Debian package %s %s" % (component["package"], component["version"])
    inputs = set()
    build = os.path.realpath(args.build)
    for map_path in args.maps:
        # CMake links each program in its own folder: build/<program>.
        program = os.path.splitext(os.path.basename(map_path))[0]
        linked_in = os.path.join(build, program)
        inputs |= linked_inputs(map_path, linked_in if os.path.isdir(linked_in) else build)
    if not inputs:
        sys.exit("third-party-notices: the linker maps list nothing: %s" % " ".join(args.maps))
    found, unnamed = find_components(inputs, build, toolchain)
    if unnamed:
        for path in sorted(unnamed):
            print("third-party-notices: %s is linked (%s) but no notice names it"
                  % (os.path.basename(path), path), file=sys.stderr)
        sys.exit(1)

    # Qt first, then its parts, then the other libraries, then the toolchain's.
    order = {c["id"]: i for i, c in enumerate(toolchain)}

    def place(component):
        id = component["id"]
        group = 3 if id in order else 0 if id == "qtbase" else 1 if id.startswith("qtbase-") else 2
        return (group, order.get(id, 0), component["name"].lower())

    components = sorted(found.values(), key=place)
    # Windows' own editors and the installer's licence page read UTF-8 by its mark.
    with open(args.out, "w", encoding="utf-8-sig", newline="\r\n") as f:
        f.write(render(components))
    for component in components:
        print("third-party-notices: %s (%s)" % (component["name"], component["license"]))


if __name__ == "__main__":
    main()
