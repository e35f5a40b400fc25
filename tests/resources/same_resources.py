#!/usr/bin/env python3
"""Checks that a compiled resource file (.res) holds exactly the resources a DLL carries,
byte for byte: the same types, names and languages, and the same data. The module is built
with windres; an MSVC build compiles the same script with rc.exe, which llvm-rc stands in for.

Usage: same_resources.py Karvex.dll OUT.res [-- COMMAND...]
With a COMMAND (the resource compiler writing OUT.res), it is run first.
"""
import struct
import subprocess
import sys

RT_STRING, RT_DIALOG, RT_VERSION, RT_MANIFEST = 6, 5, 16, 24
# Present in both, or the check would pass on two empty sets.
REQUIRED = [(RT_DIALOG, 3000), (RT_VERSION, 1), (RT_MANIFEST, 1)]


def pe_resources(path):
    """{(type, name, language): bytes} from a PE file's resource section."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(path + ": not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    root_rva, root_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if not root_size:
        return {}

    def offset_of(rva):
        table = optional + optional_size
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("RVA %#x is in no section" % rva)

    root = offset_of(root_rva)

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, root + at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, root + at + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, root + (name & 0x7FFFFFFF))[0]
                start = root + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for type_, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for language, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, root + leaf)
                start = offset_of(rva)
                found[(type_, name, language)] = data[start:start + size]
    return found


def res_resources(path):
    """{(type, name, language): bytes} from a 32-bit .res file."""
    data = open(path, "rb").read()
    found = {}
    at = 0

    def name_or_id(pos):
        if struct.unpack_from("<H", data, pos)[0] == 0xFFFF:
            return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
        end = pos
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[pos:end].decode("utf-16-le"), end + 2

    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        type_, pos = name_or_id(at + 8)
        name, pos = name_or_id(pos)
        pos = (pos + 3) & ~3
        language = struct.unpack_from("<H", data, pos + 6)[0]
        if type_ != 0:  # the empty entry that opens a .res
            found[(type_, name, language)] = data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3
    return found


def describe(key):
    return "type %s, name %s, language %#06x" % key


def difference(a, b):
    """Where two byte strings first differ, with the bytes there."""
    at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    return "%d and %d bytes, first difference at offset %d: %s / %s" % (
        len(a), len(b), at, a[at:at + 12].hex(" "), b[at:at + 12].hex(" "))


def main(argv):
    if len(argv) < 3 or (len(argv) > 3 and argv[3] != "--"):
        sys.stderr.write(__doc__)
        return 2
    dll_path, res_path = argv[1], argv[2]
    if len(argv) > 4:
        compiled = subprocess.run(argv[4:])
        if compiled.returncode != 0:
            print("FAIL: the resource compiler stopped (exit code %d)" % compiled.returncode)
            return 1
    dll, res = pe_resources(dll_path), res_resources(res_path)
    failures = []
    for type_, name in REQUIRED:
        if not any(key[:2] == (type_, name) for key in dll):
            failures.append("the DLL carries no type %s, name %s" % (type_, name))
    if not any(key[0] == RT_STRING for key in dll):
        failures.append("the DLL carries no string table")
    for key in sorted(set(dll) | set(res), key=str):
        if key not in res:
            failures.append(describe(key) + ": only in the DLL")
        elif key not in dll:
            failures.append(describe(key) + ": only in " + res_path)
        elif dll[key] != res[key]:
            failures.append(describe(key) + ": " + difference(dll[key], res[key]))
        else:
            print("same: %s (%d bytes)" % (describe(key), len(dll[key])))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
