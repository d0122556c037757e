#!/usr/bin/python3
# Copies the licence texts of a third-party source tree that was built for the Windows
# programs into the installed prefix, with a list of its components (licenses/
# components.json) that scripts/third-party-notices.py reads:
#   collect-licenses.py qt   QTBASE_SOURCE PREFIX DEBIAN_SOURCE_VERSION
#   collect-licenses.py curl CURL_SOURCE   PREFIX DEBIAN_SOURCE_VERSION
#   collect-licenses.py library SOURCE PREFIX DEBIAN_SOURCE_VERSION NAME LICENSE-ID \
#       ARCHIVE LICENCE-FILE...    (any other library: one archive, its licence files)
# A component names the archives (globs, relative to the prefix) and, where it is one
# part of a larger archive, the object files whose linking means it is linked.
import json
import os
import re
import shutil
import sys

CODE = (".c", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def copy_licence(source_root, relative, prefix, into):
    """Copies one licence file below PREFIX/licenses/INTO; returns its path there."""
    target = os.path.join(into, relative.replace("..", "_"))
    os.makedirs(os.path.dirname(os.path.join(prefix, "licenses", target)), exist_ok=True)
    shutil.copyfile(os.path.join(source_root, relative), os.path.join(prefix, "licenses", target))
    return target


def read_attributions(path):
    # Qt's attribution files hold strings over several lines and repeated keys.
    with open(path, encoding="utf-8") as f:
        data = json.loads(f.read(), strict=False)
    return data if isinstance(data, list) else [data]


def object_name(path):
    return os.path.splitext(os.path.basename(path))[0] + ".o"


def qt(source, prefix, debian_version):
    src = os.path.join(source, "src")
    # Every code file, and the files each one pulls in with #include "...": Qt compiles
    # some third-party code (SHA-1, the Unicode tables) inside files of its own.
    includers = {}
    for top, _, names in os.walk(src):
        for name in names:
            if not name.endswith(CODE):
                continue
            path = os.path.join(top, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for included in INCLUDE.findall(f.read()):
                    target = os.path.normpath(os.path.join(top, included))
                    includers.setdefault(target, set()).add(object_name(path))

    version = re.search(r"^(\d+\.\d+\.\d+)", debian_version).group(1)
    components = [{
        "id": "qtbase",
        "name": "Qt %s (qtbase: Core, Gui, Widgets, platform integration, plugins)" % version,
        "version": version,
        "license": "LGPL-3.0-only",
        "copyright": "Copyright (C) The Qt Company Ltd. and other contributors.",
        "source": "Debian source package qtbase-opensource-src %s" % debian_version,
        "relink": True,
        "archives": ["**"],
        "files": [copy_licence(source, name, prefix, "qtbase")
                  for name in ("LICENSE.LGPL3", "LICENSE.GPL3")],
    }]
    for top, _, names in sorted(os.walk(src)):
        if "qt_attribution.json" not in names:
            continue
        for entry in read_attributions(os.path.join(top, "qt_attribution.json")):
            if "Files" in entry:
                own = [os.path.join(top, name) for name in entry["Files"].split()]
            elif "Path" in entry:
                own = [os.path.normpath(os.path.join(top, entry["Path"]))]
            else:
                own = [top]
            files = set()
            for path in own:
                if os.path.isdir(path):
                    for below, _, found in os.walk(path):
                        files.update(os.path.join(below, name) for name in found)
                else:
                    files.add(path)
            objects = {object_name(path) for path in files if path.endswith(CODE)}
            for path in files:
                # Code pulled into another file, or (for a named file list) its data.
                if path.endswith(CODE) or "Files" in entry:
                    objects |= includers.get(path, set())
            # Public-domain parts have no licence file: their notice is the licence line.
            licences = entry.get("LicenseFiles") or (
                [entry["LicenseFile"]] if "LicenseFile" in entry else [])
            relative = os.path.relpath(top, source)
            # A third-party folder with a project of its own is its own archive (FreeType
            # carries a zlib of its own: its adler32.o is not Qt Core's).
            archives = ["**"]
            for name in names if "3rdparty" in relative else []:
                if name.endswith(".pro"):
                    with open(os.path.join(top, name)) as f:
                        target = re.search(r"^TARGET\s*=\s*(\S+)", f.read(), re.M)
                    if target:
                        archives = ["lib/lib%s.a" % target.group(1)]
            components.append({
                "id": "qtbase-" + entry["Id"],
                "name": entry["Name"],
                "version": entry.get("Version", ""),
                "license": entry.get("LicenseId") or entry.get("License", ""),
                "licenseName": entry.get("License", ""),
                "copyright": entry.get("Copyright", ""),
                "source": "part of the Qt source above, %s" % relative,
                "archives": archives,
                "objects": sorted(objects),
                "files": [copy_licence(source, os.path.normpath(os.path.join(relative, name)),
                                       prefix, "qtbase") for name in licences],
            })
    return components


def curl(source, prefix, debian_version):
    with open(os.path.join(source, "include", "curl", "curlver.h")) as f:
        version = re.search(r'#define LIBCURL_VERSION "([^"]+)"', f.read()).group(1)
    return [{
        "id": "curl",
        "name": "libcurl %s (FTP only)" % version,
        "version": version,
        "license": "curl",
        "copyright": "Copyright (C) Daniel Stenberg, <daniel@haxx.se>, and many contributors.",
        "source": "Debian source package curl %s" % debian_version,
        "archives": ["lib/libcurl.a"],
        "files": [copy_licence(source, "COPYING", prefix, "curl")],
    }]


def library(source, prefix, debian_version, name, licence, archive, *files):
    package = os.path.basename(os.path.normpath(source)).rsplit("-", 1)[0]
    return [{
        "id": package,
        "name": "%s %s" % (name, re.sub(r"^\d+:|[-+~].*$", "", debian_version)),
        "version": debian_version,
        "license": licence,
        "source": "Debian source package %s %s" % (package, debian_version),
        "archives": [archive],
        "files": [copy_licence(source, path, prefix, package) for path in files],
    }]


def main():
    kind, source, prefix, debian_version = sys.argv[1:5]
    kinds = {"qt": qt, "curl": curl, "library": library}
    os.makedirs(os.path.join(prefix, "licenses"), exist_ok=True)
    components = kinds[kind](source, prefix, debian_version, *sys.argv[5:])
    with open(os.path.join(prefix, "licenses", "components.json"), "w") as f:
        json.dump(components, f, indent=1, sort_keys=True)
    print("%s: %d components, licences in %s/licenses" % (kind, len(components), prefix))


if __name__ == "__main__":
    main()
