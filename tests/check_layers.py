#!/usr/bin/env python3
"""Checks the include lines of the program's folders against their layers.

The program's folders and their layers are those of cmake/VordFolders.cmake, lowest layer first: each folder
names the folders right below it, and may include headers of its own folder, of those and of every folder they
may include, and nothing above. Every include line (quoted or angled, by a path from the checkout's root or from
the including file's folder, `../` and all) is resolved to the file of the checkout it names where there is one,
and that file's folder is checked; a line that names no file of the checkout names a library's header. Code that
must run without windows (the GUI-free part of platform/, the core's logic, the server engine, the xbase reader)
may include neither a window header of platform/ nor a Qt Widgets or Qt Gui header.

Usage: check_layers.py SOURCE_DIR [QT_HEADER_DIR ...]   (the Qt Widgets and Qt Gui include folders)
"""
import os
import re
import sys

GUI_FREE_FOLDERS = {"lang", "commserver", "xbase"}
# The window side of platform/; the rest of it is GUI-free.
PLATFORM_UI = {"QtUi", "Twips", "WindowRegistry", "FormClose", "WidgetNames"}
SOURCE = re.compile(r".*\.(cpp|h|hpp|cc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
FOLDER_LIST = "cmake/VordFolders.cmake"


def gui_free(folder, name):
    stem = os.path.splitext(os.path.basename(name))[0]
    if folder in GUI_FREE_FOLDERS:
        return True
    if folder == "platform":
        return stem not in PLATFORM_UI
    if folder == "core":
        return not stem.startswith("frm")  # the core's forms have their own target
    return False


def read_layers(root):
    """The layers of cmake/VordFolders.cmake in their order: a list of (folder, the folders named below it)."""
    path = os.path.join(root, FOLDER_LIST)
    with open(path, encoding="utf-8") as f:
        text = "".join(line.split("#", 1)[0] for line in f)
    m = re.search(r"set\(\s*VORD_LAYERS\s+([^)]*)\)", text)
    if not m:
        sys.exit(f"{path}: no set(VORD_LAYERS ...)")
    layers = []
    for entry in re.findall(r'"([^"]*)"', m.group(1)):
        folder, _, below = entry.partition(":")
        layers.append((folder.strip(), below.split()))
    return layers


def allowed_folders(layers, problems):
    """Each folder's set of the folders it may include (itself, those it names and theirs), in the list's order.
    A name that is not a folder before it is a problem."""
    allowed = {}
    for folder, below in layers:
        allowed[folder] = {folder}
        for name in below:
            if name not in allowed:
                problems.append(f"{FOLDER_LIST}: {folder} names {name}, which is not a folder before it")
                continue
            allowed[folder] |= allowed[name]
    for folder in sorted(GUI_FREE_FOLDERS - set(allowed)):
        problems.append(f"{folder}/: in GUI_FREE_FOLDERS of {__file__} but not a folder of {FOLDER_LIST}")
    return allowed


def owning_folder(relpath, folders):
    """The folder of the list that holds the checkout file relpath (the deepest one), else its top folder (or
    "." for a file at the root)."""
    best = None
    for folder in folders:
        if relpath.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    if best:
        return best
    return relpath.split("/")[0] if "/" in relpath else "."


def resolve(root, including_dir, header):
    """The checkout path (from its root, with "/") of the file an include line names, or None when the line names
    no file of the checkout. The including file's folder is tried first, then the root."""
    for base in (including_dir, root):
        path = os.path.realpath(os.path.join(base, header))
        rel = os.path.relpath(path, root)
        if rel.startswith(".."):
            continue
        if os.path.isfile(path):
            return rel.replace(os.sep, "/")
    return None


def sources(root, folders):
    """(folder, path from the root) of every source file of the program's folders, each under its deepest folder."""
    found = []
    for folder in folders:
        top = os.path.join(root, folder)
        for dirpath, dirnames, filenames in os.walk(top):
            dirnames.sort()
            for name in sorted(filenames):
                if SOURCE.match(name):
                    rel = os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, "/")
                    if owning_folder(rel, folders) == folder:
                        found.append((folder, rel))
    return found


def check(root, qt_headers):
    """The problems of the checkout at root, one line each."""
    root = os.path.realpath(root)
    problems = []
    layers = read_layers(root)
    allowed = allowed_folders(layers, problems)
    folders = [folder for folder, _ in layers]
    for folder, rel in sources(root, folders):
        path = os.path.join(root, rel)
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                header = m.group(2).strip()
                where = f"{rel}:{number}: {header}"
                target_rel = resolve(root, os.path.dirname(path), header)
                if target_rel is None:
                    if gui_free(folder, rel) and os.path.basename(header) in qt_headers:
                        problems.append(f"{where}: a window header in code that runs without windows")
                    continue
                target = owning_folder(target_rel, folders)
                if target not in allowed[folder]:
                    problems.append(f"{where}: {folder}/ may not include {target}/ ({target_rel})")
                elif gui_free(folder, rel) and not gui_free(target, target_rel):
                    problems.append(f"{where}: a window header in code that runs without windows ({target_rel})")
    return problems


def main():
    root = sys.argv[1]
    qt_headers = set()
    for d in sys.argv[2:]:
        if os.path.isdir(d):
            qt_headers |= set(os.listdir(d))
    problems = check(root, qt_headers)
    for p in problems:
        print(p)
    print(f"{len(problems)} include(s) against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
