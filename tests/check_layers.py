#!/usr/bin/env python3
"""Checks the include lines of the program's folders against their layers.

The program's folders are those of cmake/VordFolders.cmake, lowest layer first. Each folder may include headers
of the folders named for it in ALLOWED, and nothing above; the list's order agrees (a folder comes after every
folder it may include). Code that must run without windows (the GUI-free part of platform/, the core's logic,
the server engine, the xbase reader) may include neither a window header of platform/ nor a Qt Widgets or Qt Gui
header. A folder of the list that is not named here fails the check: add it to ALLOWED (and, if it runs without
windows, to GUI_FREE_FOLDERS).

Usage: check_layers.py SOURCE_DIR [QT_HEADER_DIR ...]   (the Qt Widgets and Qt Gui include folders)
"""
import os
import re
import sys

LOW = {"platform", "lang"}
CORE = LOW | {"core"}
DOCS = CORE | {"documents"}
SUBSYSTEMS = {"transfer", "printing", "mapview", "directlink", "pdalink", "autosync", "xbase"}
ALLOWED = {
    "lang": {"lang"},  # the texts' names, for every layer
    "platform": LOW,
    "core": CORE,
    "documents": DOCS,
    "transfer": DOCS | {"transfer", "pdalink"},
    "printing": DOCS | {"printing"},
    "mapview": DOCS | {"mapview"},
    "directlink": DOCS | {"directlink"},
    "pdalink": CORE | {"pdalink"},
    "autosync": CORE | {"autosync", "pdalink"},
    "cleaner": CORE | {"cleaner"},
    "xbase": LOW | {"xbase"},
    "commserver": LOW | {"commserver", "xbase"},
    "commserver/app": LOW | {"commserver", "xbase"},  # the server program and its windows, on the engine
    "vordalin": DOCS | SUBSYSTEMS | {"vordalin"},
}
GUI_FREE_FOLDERS = {"commserver", "xbase"}
# The window side of platform/; the rest of it is GUI-free.
PLATFORM_UI = {"QtUi", "Twips", "WindowRegistry", "FormClose", "WidgetNames"}
# Folders of the checkout that are not part of the programs: no program includes from them.
NOT_CODE = {"tests", "bench", "build", "docs", "cmake", "scripts"}
SOURCE = re.compile(r".*\.(cpp|h|hpp|cc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def gui_free(folder, name):
    stem = os.path.splitext(name)[0]
    if folder in GUI_FREE_FOLDERS or folder == "lang":
        return True
    if folder == "platform":
        return stem not in PLATFORM_UI
    if folder == "core":
        return not stem.startswith("frm")  # the core's forms have their own target
    return False


def program_folders(root):
    """The folder list of cmake/VordFolders.cmake, in its order."""
    path = os.path.join(root, "cmake", "VordFolders.cmake")
    with open(path, encoding="utf-8") as f:
        text = "".join(line.split("#", 1)[0] for line in f)
    m = re.search(r"set\(\s*VORD_FOLDERS\s+([^)]*)\)", text)
    if not m:
        sys.exit(f"{path}: no set(VORD_FOLDERS ...)")
    return m.group(1).split()


def main():
    root = sys.argv[1]
    qt_headers = set()
    for d in sys.argv[2:]:
        if os.path.isdir(d):
            qt_headers |= set(os.listdir(d))
    problems = []
    folders = program_folders(root)
    for i, folder in enumerate(folders):
        if folder not in ALLOWED:
            problems.append(f"{folder}/: a folder the layer rule does not know; add it to ALLOWED in {__file__}")
            continue
        later = sorted(ALLOWED[folder] & set(folders[i + 1:]))
        if later:
            problems.append(f"cmake/VordFolders.cmake: {folder} comes before {', '.join(later)}, which it may include")
    for folder in sorted(set(ALLOWED) - set(folders)):
        problems.append(f"{folder}/: in ALLOWED but not a folder of cmake/VordFolders.cmake")
    for folder in folders:
        path = os.path.join(root, folder)
        if folder not in ALLOWED or not os.path.isdir(path):
            continue
        sources = [n for n in sorted(os.listdir(path)) if SOURCE.match(n)]
        for name in sources:
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, header = m.groups()
                    where = f"{folder}/{name}:{number}: {header}"
                    if kind == "<":
                        base = header.split("/")[-1]
                        if gui_free(folder, name) and base in qt_headers:
                            problems.append(f"{where}: a window header in code that runs without windows")
                        continue
                    parts = header.split("/")
                    target, target_name = (parts[0], parts[-1]) if len(parts) > 1 else (folder, parts[0])
                    if len(parts) > 1 and target not in ALLOWED and target not in NOT_CODE:
                        continue  # a header of a library, not of a folder here
                    if target not in ALLOWED[folder]:
                        problems.append(f"{where}: {folder}/ may not include {target}/")
                    elif gui_free(folder, name) and not gui_free(target, target_name):
                        problems.append(f"{where}: a window header in code that runs without windows")
    for p in problems:
        print(p)
    print(f"{len(problems)} include(s) against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
