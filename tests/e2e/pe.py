"""A small reader for the parts of PE files the tests look at: headers, sections, imported
DLLs and resources. Standard library only, so the tests run on a bare Python."""
import struct

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2
DELAY_IMPORT_DIRECTORY = 13


class PeError(Exception):
    pass


class Section:
    def __init__(self, name, virtual_address, virtual_size, raw_pointer, raw_size):
        self.name = name
        self.virtual_address = virtual_address
        self.virtual_size = virtual_size
        self.raw_pointer = raw_pointer
        self.raw_size = raw_size


class PeFile:
    def __init__(self, data):
        self.data = bytes(data)
        if self.data[:2] != b"MZ":
            raise PeError("no MZ signature")
        self.e_lfanew = self.u32(0x3C)
        if self.data[self.e_lfanew:self.e_lfanew + 4] != b"PE\0\0":
            raise PeError("no PE signature at e_lfanew")
        coff = self.e_lfanew + 4
        self.machine = self.u16(coff)
        section_count = self.u16(coff + 2)
        optional_size = self.u16(coff + 16)
        optional = coff + 20
        self.magic = self.u16(optional)
        if self.magic == 0x10B:
            self.image_base = self.u32(optional + 28)
            directories_at = optional + 96
        elif self.magic == 0x20B:
            self.image_base = struct.unpack_from("<Q", self.data, optional + 24)[0]
            directories_at = optional + 112
        else:
            raise PeError("unknown optional header magic %#x" % self.magic)
        self.size_of_headers = self.u32(optional + 60)
        self.subsystem = self.u16(optional + 68)
        directory_count = min(self.u32(directories_at - 4), 16)
        self.directories = [struct.unpack_from("<II", self.data, directories_at + 8 * i)
                            for i in range(directory_count)]
        section_table = optional + optional_size
        self.header_end = section_table + 40 * section_count
        self.sections = []
        for i in range(section_count):
            at = section_table + 40 * i
            name = self.data[at:at + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, raw_size, raw_pointer = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append(Section(name, va, vsize, raw_pointer, raw_size))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva):
        for s in self.sections:
            if s.virtual_address <= rva < s.virtual_address + max(s.virtual_size, s.raw_size):
                delta = rva - s.virtual_address
                if delta >= s.raw_size:
                    raise PeError("RVA %#x has no file data" % rva)
                return s.raw_pointer + delta
        if rva < self.size_of_headers:
            return rva
        raise PeError("RVA %#x is in no section" % rva)

    def read(self, rva, size):
        at = self.offset_of(rva)
        return self.data[at:at + size]

    def c_string(self, rva):
        at = self.offset_of(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def imported_dlls(self):
        """Names of the DLLs in the import and delay-import directories, in file order."""
        names = []
        rva, _ = self.directory(IMPORT_DIRECTORY)
        if rva:
            at = rva
            while True:
                descriptor = self.read(at, 20)
                if descriptor == b"\0" * 20:
                    break
                names.append(self.c_string(struct.unpack_from("<I", descriptor, 12)[0]))
                at += 20
        rva, _ = self.directory(DELAY_IMPORT_DIRECTORY)
        if rva:
            at = rva
            while True:
                descriptor = self.read(at, 32)
                attributes, name = struct.unpack_from("<II", descriptor, 0)
                if name == 0:
                    break
                # Old-style descriptors hold virtual addresses instead of RVAs.
                names.append(self.c_string(name if attributes & 1 else name - self.image_base))
                at += 32
        return names

    def resources(self):
        """{type: {name: {language: bytes}}}; numeric ids are ints, names upper-case strings."""
        rva, _ = self.directory(RESOURCE_DIRECTORY)
        if not rva:
            return {}
        base = self.offset_of(rva)

        def key(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                length = self.u16(at)
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return value

        def level(offset):
            at = base + offset
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            out = {}
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if target & 0x80000000:
                    out[key(name)] = level(target & 0x7FFFFFFF)
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    out[key(name)] = self.read(data_rva, data_size)
            return out

        return level(0)


def icon_group(blob):
    """Entries of an RT_GROUP_ICON resource as (width, height, bit count, icon id)."""
    _, _, count = struct.unpack_from("<HHH", blob, 0)
    entries = []
    for i in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i)
        entries.append((width or 256, height or 256, bits, icon_id))
    return entries


def version_info(blob):
    """(fixed file version tuple, {string name: value}) from an RT_VERSION resource."""
    def align(n):
        return (n + 3) & ~3

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", blob, at)
        end = at + length
        key_at = at + 6
        key_end = key_at
        while blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = blob[key_at:key_end].decode("utf-16-le")
        value_at = align(key_end + 2)
        value_size = value_length * 2 if kind == 1 else value_length
        value = blob[value_at:value_at + value_size]
        children = []
        child = align(value_at + value_size)
        while child < end:
            children.append(node(child))
            child = align(child + struct.unpack_from("<H", blob, child)[0])
        return key, kind, value, children

    key, _, fixed, children = node(0)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        raise PeError("not a version resource")
    ms, ls = struct.unpack_from("<II", fixed, 8)
    version = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for block_key, _, _, tables in children:
        if block_key != "StringFileInfo":
            continue
        for _, _, _, entries in tables:
            for name, _, value, _ in entries:
                strings[name] = value.decode("utf-16-le").rstrip("\0")
    return version, strings
