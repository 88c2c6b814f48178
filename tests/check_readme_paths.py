#!/usr/bin/env python3
"""Checks that every file of the checkout that the README names is there.

The README names files in back-quotes (`platform/AtomicFile.cpp`, `FormClose.h`, `bench/bench_pdacopy`) and in
its links and pictures. A name counts as a file of the checkout when it is a plain relative path (letters,
digits and "._+-" between slashes; no spaces, no "$", "~", "*", "\\", ":", "=", brackets) that holds a "/" or
ends in an extension of the checkout's files:
  - with a "/": that path from the checkout's root (a name ending in "/" a folder; a name without an extension
    may also be a program built from the source of that name, `bench/bench_pdacopy` from bench_pdacopy.cpp);
  - without one: a file of that name anywhere in the checkout (`CommandTable.cpp`).
What lies below NOT_IN_CHECKOUT names the folders the programs and scripts make, not files of the checkout.

Usage: check_readme_paths.py SOURCE_DIR [README]   (README: the file to check, SOURCE_DIR/README.md unless given)
"""
import os
import re
import sys

# Names that look like files of the checkout and are not: what they stand for.
NOT_IN_CHECKOUT = {
    "build/": "the build folder that run.sh and test.sh make",
    "rovemark/": "the exchange tree the programs make below the program folder",
    "z/x/y.png": "the layout of a folder of map tiles",
}
EXTENSIONS = {".h", ".hpp", ".cpp", ".py", ".sh", ".cmake", ".md", ".txt", ".png", ".pdf"}
PLAIN_PATH = re.compile(r"^[A-Za-z0-9_.+-]+(/[A-Za-z0-9_.+-]+)*/?$")
FENCE = re.compile(r"^```.*?^```", re.M | re.S)
CODE = re.compile(r"`([^`]+)`")
LINK = re.compile(r"\]\(([^)\s]+)\)")


def named_paths(text):
    """(line number, name) of every name in back-quotes or link target outside fenced blocks that reads as a
    path of the checkout."""
    text = FENCE.sub(lambda m: "\n" * m.group(0).count("\n"), text)
    found = []
    for pattern in (CODE, LINK):
        for m in pattern.finditer(text):
            name = m.group(1).strip()
            if pattern is LINK:
                name = name.split("#", 1)[0]  # a place in the file
            if name.startswith("./"):
                name = name[2:]
            if not PLAIN_PATH.match(name) or name in (".", ".."):
                continue
            if "/" not in name and os.path.splitext(name)[1] not in EXTENSIONS:
                continue
            if any(name == p or (p.endswith("/") and name.startswith(p)) for p in NOT_IN_CHECKOUT):
                continue
            found.append((text.count("\n", 0, m.start()) + 1, name))
    return sorted(found)


def file_names(root):
    names = set()
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames
                       if d != ".git" and not (dirpath == root and d.startswith("build"))]  # build, build-fuzz, ...
        names.update(filenames)
    return names


def exists(root, name, names):
    if "/" not in name:
        return name in names
    path = os.path.join(root, name)
    if name.endswith("/"):
        return os.path.isdir(path)
    if os.path.isfile(path) or os.path.isdir(path):
        return True
    return not os.path.splitext(name)[1] and os.path.isfile(path + ".cpp")


def check(root, readme):
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    names = file_names(root)
    label = os.path.relpath(readme, root) if readme.startswith(root) else readme
    return [f"{label}:{line}: `{name}` is not a file of the checkout"
            for line, name in named_paths(text) if not exists(root, name, names)]


def main():
    root = os.path.realpath(sys.argv[1])
    readme = os.path.realpath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(root, "README.md")
    problems = check(root, readme)
    for p in problems:
        print(p)
    print(f"{len(problems)} name(s) of missing files")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
