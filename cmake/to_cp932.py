#!/usr/bin/env python3
"""Writes UTF-8 text files as code page 932 (Shift-JIS) with CRLF line ends.

The help file's sources and the install notes are kept in UTF-8; the help library and
the Japanese systems the module is made for read them in code page 932. A character
without a code page 932 form stops the build instead of turning into '?'.

Usage: to_cp932.py OUT_DIR FILE...   (each FILE is written to OUT_DIR under its own name)
"""
import os
import sys


def convert(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    text = text.lstrip("\ufeff").replace("\r\n", "\n").replace("\n", "\r\n")
    try:
        data = text.encode("cp932")
    except UnicodeEncodeError as error:
        line = text.count("\n", 0, error.start) + 1
        sys.exit(f"{source}:{line}: {text[error.start]!r} (U+{ord(text[error.start]):04X}) "
                 "has no code page 932 form")
    with open(target, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out_dir = argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for source in argv[2:]:
        convert(source, os.path.join(out_dir, os.path.basename(source)))


if __name__ == "__main__":
    main(sys.argv)
