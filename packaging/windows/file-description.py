#!/usr/bin/env python3
"""Rewrites the FileDescription of a Windows program's version information in place.

NSIS builds the uninstaller from the installer's header, version information included;
makensis runs this on the uninstaller (!uninstfinalize) so that it names itself.
Usage: file-description.py EXE OLD NEW
The entry whose value is OLD must occur exactly once; NEW may not be longer than OLD
(the resource keeps its size; a shorter value is padded with NULs after its end).
The NSIS CRC that the uninstaller checks at start is made again; a file whose CRC does
not follow the expected layout is left alone and the build stops."""
import struct
import sys
import zlib

# NSIS's first header: flags, 0xDEADBEEF, "NullsoftInst", header length, length of
# everything from the first header on, whose last 4 bytes are a CRC32 of the file from
# byte 512 (after the PE headers, which signing changes) up to the CRC.
FIRST_HEADER = b"\xef\xbe\xad\xdeNullsoftInst"
CRC_START = 512


def crc_place(data):
    first = data.find(FIRST_HEADER) - 4
    if first < CRC_START or data.find(FIRST_HEADER, first + 5) != -1:
        sys.exit("file-description: no single NSIS first header")
    length = struct.unpack_from("<i", data, first + 24)[0]
    end = first + length - 4
    if end > len(data) - 4 or struct.unpack_from("<I", data, end)[0] != zlib.crc32(data[CRC_START:end]):
        sys.exit("file-description: the NSIS CRC is not where it is expected")
    return end


def main(path, old, new):
    if len(new) > len(old):
        sys.exit(f"file-description: '{new}' is longer than '{old}'")
    data = bytearray(open(path, "rb").read())
    crc_end = crc_place(data)
    # A version String entry: wLength, wValueLength (in characters, NUL included), wType
    # (1: text), the key, NULs up to a 4-byte boundary, then the value.
    key = "FileDescription\0".encode("utf-16-le")
    found = []
    start = data.find(key)
    while start != -1:
        header = start - 6
        value_chars = int.from_bytes(data[header + 2:header + 4], "little")
        kind = int.from_bytes(data[header + 4:header + 6], "little")
        value = start + len(key)
        value += (-(value - header)) % 4
        text = data[value:value + 2 * value_chars].decode("utf-16-le", "replace")
        if kind == 1 and text == old + "\0":
            found.append((value, value_chars))
        start = data.find(key, start + 1)
    if len(found) != 1:
        sys.exit(f"file-description: {path} has {len(found)} FileDescription entries '{old}', not 1")
    value, value_chars = found[0]
    data[value:value + 2 * value_chars] = new.ljust(value_chars, "\0").encode("utf-16-le")
    struct.pack_into("<I", data, crc_end, zlib.crc32(data[CRC_START:crc_end]))
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
