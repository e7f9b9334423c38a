#!/usr/bin/env python3
"""Looks for the misspellings Debian's checker knows in the texts a user reads.

lintian reads the programs' texts out of the binaries, where the compiler has stored many
of them in pieces inside its instructions, so its word list is applied here to the
sources instead: the string literals of the C++ code, the help pages, the desktop entry
and metadata, the changelog, the manual pages and the README with its documents.

usage: check_spelling.py CORRECTIONS SOURCE_DIR [FILE ...]
Prints each misspelling as FILE:LINE: WORD -> RIGHT and exits 1 when there is one.
"""
import glob
import gzip
import os
import re
import sys

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
WORD = re.compile(r"[A-Za-z]+")


def corrections(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#") and "||" in line:
                wrong, right = line.split("||", 1)
                table[wrong.lower()] = right
    return table


def read(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8", errors="replace") as f:
        return f.read()


def texts(path):
    """(line number, text) of what a user reads in the file."""
    content = read(path)
    if path.endswith((".cpp", ".h")):
        for number, line in enumerate(content.split("\n"), 1):
            for literal in LITERAL.findall(line):
                yield number, literal
        return
    if path.endswith(".html"):
        content = re.sub(r"<[^>]*>", lambda m: "\n" * m.group(0).count("\n") or " ", content)
    for number, line in enumerate(content.split("\n"), 1):
        yield number, line


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    table = corrections(sys.argv[1])
    top = sys.argv[2]
    files = []
    for pattern in ("src/**/*.cpp", "src/**/*.h", "tools/*.cpp", "help/*.html", "desktop/*.desktop",
                    "desktop/*.xml", "desktop/debian/changelog", "README.md", "docs/*.md"):
        files += sorted(glob.glob(os.path.join(top, pattern), recursive=True))
    files += sys.argv[3:]
    found = 0
    for path in files:
        for number, text in texts(path):
            # "&" marks a menu's accelerator inside a word ("Pay&ment").
            for word in WORD.findall(text.replace("&", "")):
                right = table.get(word.lower())
                if right:
                    print(f"{os.path.relpath(path, top)}:{number}: {word} -> {right}")
                    found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
