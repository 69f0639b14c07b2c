"""Package bytes for the end-to-end tests: the checksum, the record chain, and the later disk
files of a split package, so that tests can damage a package on purpose and seal it again.

Layout of a split package as these helpers write it:
- disk 1 is an ordinary package (stub, lead records, file records, trailer) with the MoreDisks
  flag; its FilesCount counts the distinct files of all disks;
- disk n >= 2 is named base + "." + n with at least three digits (setup.exe.002); it holds
  file records only (no stub, no lead records, DataOffset 0), then a 74-byte trailer of its
  own with the signature, MoreDisks on every disk but the last, TrailerSize 74 and its own
  checksum;
- a file may continue on the next disk as another record with the same header path.
"""
import struct
import zlib
from array import array

TRAILER_SIZE = 74
SIGNATURE = 0x4A3B2C1D
EXEMPT = 1234
MORE_DISKS = 2


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def is_pe(data):
    return len(data) > 258 and data[0:2] == b"MZ" and data[256:258] == b"PE"


def logical_end(data):
    if is_pe(data):
        value = u32(data, 248) << 32 | u32(data, 252)
        if value > 0:
            return value
    return len(data)


def trailer_at(data):
    return logical_end(data) - TRAILER_SIZE


def checksum(data, trailer_size=TRAILER_SIZE):
    """The sum the extractor compares with the trailer's Checksum."""
    if len(data) > 52428800:
        return EXEMPT
    remaining, offset = len(data), 0
    low = u32(data, 252) if is_pe(data) else 0
    if low > 0:
        remaining = low
    remaining -= trailer_size
    if low > 0:
        remaining -= 512
        offset = 512
    total = 0
    while True:
        block = data[offset:offset + 4096]
        offset += len(block)
        words = len(block) // 4
        # Word k (from 1) of the block is added while remaining - 4k > 4.
        added = max(0, min(words, (remaining - 5) // 4))
        total += sum(array("I", bytes(block[:4 * added])))
        remaining -= 4 * words
        if remaining > 4:
            total += EXEMPT
        if len(block) < 4096:
            break
    return total & 0xFFFFFFFF


def reseal(data):
    """Writes the right checksum into the trailer of a package changed on purpose."""
    data = bytearray(data)
    struct.pack_into("<I", data, trailer_at(data) + 16, checksum(data))
    return data


def records(data):
    """(offset, stated length) of every record of the chain, lead records first."""
    at, end, out = u32(data, trailer_at(data) + 4), trailer_at(data), []
    while at + 4 <= end:
        (length,) = struct.unpack_from("<i", data, at)
        out.append((at, length))
        at += 4 + abs(length)
    return out


def record(content, compressed=True):
    if compressed:
        packed = zlib.compress(content)
        return struct.pack("<i", len(packed)) + packed
    return struct.pack("<i", -len(content)) + content


def file_content(path, data, date=0, main=False, args=""):
    first = path + ("*" + args if main else "")
    return ("|%s|%d|" % (first, date)).encode("latin-1") + b"\0" + data


def later_disk(record_bytes, more_disks):
    trailer = bytearray(TRAILER_SIZE)
    trailer[0], trailer[1] = 1, 2
    struct.pack_into("<I", trailer, 12, SIGNATURE)
    trailer[65] = MORE_DISKS if more_disks else 0
    struct.pack_into("<I", trailer, 70, TRAILER_SIZE)
    return bytes(reseal(record_bytes + bytes(trailer)))


def set_files_count(data, count):
    data = bytearray(data)
    struct.pack_into("<I", data, trailer_at(data) + 8, count)
    return reseal(data)
