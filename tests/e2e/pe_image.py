"""Reading a built PE image (setup.exe) the way Windows does: its machine
and its resource directory. No Windows tools needed."""

import struct

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
MACHINE_I386, MACHINE_AMD64 = 0x14C, 0x8664


def _headers(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
    return pe


def pe_machine(data):
    """IMAGE_FILE_HEADER.Machine: MACHINE_AMD64 or MACHINE_I386."""
    return struct.unpack_from("<H", data, _headers(data) + 4)[0]


def pe_resources(data):
    """{(type, name, language): bytes} of a PE image's resource directory;
    ids only, which is all setup.exe uses."""
    pe = _headers(data)
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        virtual_size, rva, raw_size, raw = struct.unpack_from("<4I", data, table + 40 * i + 8)
        spans.append((rva, max(virtual_size, raw_size), raw))

    def offset(address):
        for rva, size, raw in spans:
            if rva <= address < rva + size:
                return raw + address - rva
        raise ValueError(f"RVA {address:#x} in no section")

    base = offset(resource_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield (None if name & 0x80000000 else name), target

    out = {}
    for kind, kind_dir in entries(0):
        for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
            for language, leaf in entries(name_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                out[(kind, name, language)] = data[offset(rva):offset(rva) + size]
    return out
