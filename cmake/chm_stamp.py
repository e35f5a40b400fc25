#!/usr/bin/env python3
"""Sets the two time stamps that chmcmd writes into a help file to a given time: chmcmd
ignores SOURCE_DATE_EPOCH, and a release must have the same bytes whenever it is built.
Both stamps are milliseconds of the day: the ITSF header's (big-endian) and entry 10 of the
#SYSTEM file (little-endian).

Usage: chm_stamp.py FILE.chm EPOCH_SECONDS
"""
import struct
import sys


def encint(data, at):
    """A CHM variable-length integer at `at`: (value, position after it)."""
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, at


def system_file(data):
    """(offset, length) in the file of #SYSTEM, found through the directory's PMGL chunks."""
    directory, = struct.unpack_from("<Q", data, 0x48)
    content, = struct.unpack_from("<Q", data, 0x58)
    if data[directory:directory + 4] != b"ITSP":
        raise ValueError("no ITSP directory header")
    header_length, = struct.unpack_from("<I", data, directory + 8)
    chunk_size, = struct.unpack_from("<I", data, directory + 0x10)
    chunk = directory + header_length
    while data[chunk:chunk + 4] in (b"PMGL", b"PMGI"):
        if data[chunk:chunk + 4] == b"PMGL":
            free, = struct.unpack_from("<I", data, chunk + 4)
            at, end = chunk + 0x14, chunk + chunk_size - free
            while at < end:
                length, at = encint(data, at)
                name = bytes(data[at:at + length])
                section, at = encint(data, at + length)
                offset, at = encint(data, at)
                size, at = encint(data, at)
                if name == b"/#SYSTEM" and section == 0:
                    return content + offset, size
        chunk += chunk_size
    raise ValueError("no /#SYSTEM in the directory")


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    path, epoch = argv[1], int(argv[2])
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"ITSF":
        sys.exit(path + ": not a help file (no ITSF header)")
    stamp = epoch % 86400 * 1000
    struct.pack_into(">I", data, 0x10, stamp)
    start, size = system_file(data)
    at, end, found = start + 4, start + size, 0  # after the #SYSTEM version
    while at + 4 <= end:
        code, length = struct.unpack_from("<HH", data, at)
        if code == 10 and length == 4:
            struct.pack_into("<I", data, at + 4, stamp)
            found += 1
        at += 4 + length
    if found != 1:
        sys.exit("%s: %d time stamps in #SYSTEM, expected 1" % (path, found))
    open(path, "wb").write(data)


if __name__ == "__main__":
    main(sys.argv)
