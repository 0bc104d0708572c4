"""A small ISO 9660 image writer for the ISO reader's seeds and tests.

It lays out a tree as mkisofs would (ISO 9660 names, optionally Joliet
names, optionally UDF names beside them), and lets a directory record lie: a
size or an extent that no honest image has, or a folder that points back at
one of its ancestors. That is how the hostile images are made without
shipping them.

    build(tree, joliet=True, lies=None, udf=False, udf_lies=None) -> bytes

`tree` maps paths with "/" ("install/eopylist.dat") to file bytes. `lies`
maps a path to fields its record states instead of the truth: "size",
"extent", or "ancestor" (the path of a folder whose extent a folder's record
gives, making a loop). `udf_lies` does the same for the UDF file entries
(size, partition block of the data, or "repeat": the whole partition as
that many extents of a file) and names (ancestor), leaving the ISO 9660
records true. The UDF side holds folders by long allocation
descriptors, small files in their entries and the rest by short ones.
"""

import struct

BLOCK = 2048
SYSTEM_AREA = 16  # blocks before the first volume descriptor


def both16(value):
    return struct.pack("<H", value) + struct.pack(">H", value)


def both32(value):
    return struct.pack("<I", value) + struct.pack(">I", value)


def iso_name(name, folder):
    name = name.upper()
    return name.encode("ascii") if folder else name.encode("ascii") + b";1"


def joliet_name(name, folder):
    return name.encode("utf-16-be") if folder else (name + ";1").encode("utf-16-be")


def record(name, extent, size, folder):
    length = 33 + len(name) + (1 - len(name) % 2)
    date = bytes([100, 1, 1, 0, 0, 0, 0])
    body = (bytes([length, 0]) + both32(extent) + both32(size) + date +
            bytes([2 if folder else 0, 0, 0]) + both16(1) + bytes([len(name)]) + name)
    return body + b"\0" * (length - len(body))


def folders_of(tree):
    folders = {""}
    for path in tree:
        parts = path.split("/")
        for depth in range(1, len(parts)):
            folders.add("/".join(parts[:depth]))
    return folders


def children(path, tree, folders):
    prefix = path + "/" if path else ""
    names = set()
    for candidate in list(tree) + list(folders):
        if candidate.startswith(prefix) and candidate != path:
            rest = candidate[len(prefix):]
            if rest and "/" not in rest:
                names.add(rest)
    return sorted(names)


def volume_descriptor(kind, label, root, blocks, escape=b""):
    vd = bytearray(BLOCK)
    vd[0] = kind
    vd[1:6] = b"CD001"
    vd[6] = 1
    vd[40:72] = label.encode("ascii").ljust(32)[:32]
    vd[80:88] = both32(blocks)
    vd[88:88 + len(escape)] = escape
    vd[120:124] = both16(1)
    vd[124:128] = both16(1)
    vd[128:132] = both16(BLOCK)
    vd[156:190] = root
    vd[881] = 1
    return bytes(vd)


def build(tree, joliet=True, lies=None, label="ORVIK8", udf=False, udf_lies=None):
    lies = lies or {}
    folders = folders_of(tree)
    trees = [iso_name] + ([joliet_name] if joliet else [])
    first_free = SYSTEM_AREA + len(trees) + 1
    if udf:
        first_free = UDF_PARTITION + udf_blocks(tree, folders)
    # One directory block per folder and name set; files after them.
    extents = {}
    for index, namer in enumerate(trees):
        for position, folder in enumerate(sorted(folders)):
            extents[(namer, folder)] = first_free + index * len(folders) + position
    next_block = first_free + len(trees) * len(folders)
    file_extent = {}
    for path in sorted(tree):
        file_extent[path] = next_block
        next_block += max(1, -(-len(tree[path]) // BLOCK))
    blocks = next_block

    def own_record(namer, path, name):
        folder = path in folders
        extent = extents[(namer, path)] if folder else file_extent[path]
        size = BLOCK if folder else len(tree[path])
        lie = lies.get(path, {})
        if "ancestor" in lie:
            extent = extents[(namer, lie["ancestor"])]
        extent = lie.get("extent", extent)
        size = lie.get("size", size)
        return record(name, extent, size, folder)

    image = bytearray(blocks * BLOCK)
    descriptors = []
    for namer in trees:
        for folder in folders:
            parent = folder.rpartition("/")[0] if folder else ""
            entries = record(b"\0", extents[(namer, folder)], BLOCK, True)
            entries += record(b"\1", extents[(namer, parent)], BLOCK, True)
            for name in children(folder, tree, folders):
                path = f"{folder}/{name}" if folder else name
                entries += own_record(namer, path, namer(name, path in folders))
            assert len(entries) <= BLOCK, "one block per folder"
            at = extents[(namer, folder)] * BLOCK
            image[at:at + len(entries)] = entries
        root = record(b"\0", extents[(namer, "")], BLOCK, True)
        if namer is iso_name:
            descriptors.append(volume_descriptor(1, label, root, blocks))
        else:
            descriptors.append(volume_descriptor(2, label, root, blocks, b"%/E"))
    descriptors.append(b"\xff" + b"CD001\x01" + b"\0" * (BLOCK - 7))
    for index, descriptor in enumerate(descriptors):
        at = (SYSTEM_AREA + index) * BLOCK
        image[at:at + BLOCK] = descriptor
    for path, data in tree.items():
        at = file_extent[path] * BLOCK
        image[at:at + len(data)] = data
    if udf:
        write_udf(image, tree, folders, file_extent, udf_lies or {},
                  SYSTEM_AREA + len(descriptors))
    return bytes(image)


# UDF: the recognition sequence after the ISO 9660 descriptors, the volume's
# descriptors after it, the anchor at its fixed block and the partition
# from there on, holding the file set, the entries and names, and the data
# that the ISO 9660 records share.
UDF_ANCHOR = 256
UDF_PARTITION = UDF_ANCHOR + 1
IN_ENTRY_MOST = 256  # files up to this size (message files) are held in their entries
FILE_ENTRY_BYTES = 176


def udf_blocks(tree, folders):
    """The file set, an entry and a block of names per folder, an entry per
    file."""
    return 1 + 2 * len(folders) + len(tree)


def tag(ident, location):
    head = struct.pack("<HH", ident, 2) + b"\0\0" + struct.pack("<HHHI", 0, 0, 0, location)
    checksum = (sum(head) - head[4]) & 0xFF
    return head[:4] + bytes([checksum]) + head[5:]


def tagged(ident, location, body):
    """A descriptor of a block: its tag, then fields at their offsets."""
    block = bytearray(BLOCK)
    for offset, value in body.items():
        block[offset:offset + len(value)] = value
    block[0:16] = tag(ident, location)
    return bytes(block)


def long_ad(length, block):
    return struct.pack("<IIH", length, block, 0) + bytes(6)


def file_entry(location, folder, size, allocation, descriptors):
    return tagged(261, location, {
        20: struct.pack("<HHH", 4, 0, 1), 27: bytes([4 if folder else 5]),
        34: struct.pack("<H", allocation), 48: struct.pack("<H", 1),
        56: struct.pack("<Q", size), 168: struct.pack("<II", 0, len(descriptors)),
        FILE_ENTRY_BYTES: descriptors})


def file_identifier(name, entry, parent=False, folder=False):
    encoded = b"" if parent else b"\x08" + name.encode("latin-1")
    characteristics = (2 if folder else 0) | (8 if parent else 0)
    body = (struct.pack("<HBB", 1, characteristics, len(encoded)) + long_ad(BLOCK, entry)
            + struct.pack("<H", 0) + encoded)
    body += bytes(-(16 + len(body)) % 4)
    head = tag(257, 0)
    return head + body


def write_udf(image, tree, folders, file_extent, lies, first_free):
    def put(block, data):
        image[block * BLOCK:block * BLOCK + len(data)] = data

    for index, ident in enumerate((b"BEA01", b"NSR02", b"TEA01")):
        put(first_free + index, b"\0" + ident + b"\1")
    sequence = first_free + 3
    partition_blocks = len(image) // BLOCK - UDF_PARTITION
    put(sequence, tagged(5, sequence, {
        20: struct.pack("<HH", 1, 0), 25: b"+NSR02", 184: struct.pack("<III", 1, UDF_PARTITION,
                                                                         partition_blocks)}))
    put(sequence + 1, tagged(6, sequence + 1, {
        212: struct.pack("<I", BLOCK), 217: b"*OSTA UDF Compliant", 248: long_ad(BLOCK, 0),
        264: struct.pack("<II", 6, 1), 440: bytes([1, 6]) + struct.pack("<HH", 1, 0)}))
    put(sequence + 2, tagged(8, sequence + 2, {}))
    put(UDF_ANCHOR, tagged(2, UDF_ANCHOR, {16: struct.pack("<II", 3 * BLOCK, sequence)}))

    # Partition blocks: the file set at 0, then a folder's entry and names.
    entry, names = {}, {}
    for position, folder in enumerate(sorted(folders)):
        entry[folder], names[folder] = 1 + 2 * position, 2 + 2 * position
    for position, path in enumerate(sorted(tree)):
        entry[path] = 1 + 2 * len(folders) + position
    put(UDF_PARTITION, tagged(256, 0, {400: long_ad(BLOCK, entry[""])}))

    for folder in folders:
        parent = folder.rpartition("/")[0] if folder else ""
        listing = file_identifier("", entry[parent], parent=True)
        for name in children(folder, tree, folders):
            path = f"{folder}/{name}" if folder else name
            target = entry[lies.get(path, {}).get("ancestor", path)]
            listing += file_identifier(name, target, folder=path in folders)
        assert len(listing) <= BLOCK, "one block of names per folder"
        put(UDF_PARTITION + names[folder], listing)
        lie = lies.get(folder, {})
        descriptor = long_ad(len(listing), lie.get("extent", names[folder]))
        put(UDF_PARTITION + entry[folder], file_entry(
            entry[folder], True, lie.get("size", len(listing)), 1, descriptor))
    for path, data in tree.items():
        lie = lies.get(path, {})
        size = lie.get("size", len(data))
        if "repeat" in lie:
            whole = partition_blocks * BLOCK
            record = file_entry(entry[path], False, whole * lie["repeat"], 0,
                                struct.pack("<II", whole, 0) * lie["repeat"])
        elif len(data) <= IN_ENTRY_MOST and "extent" not in lie:
            record = file_entry(entry[path], False, size, 3, data)
        else:
            extent = lie.get("extent", file_extent[path] - UDF_PARTITION)
            record = file_entry(entry[path], False, size, 0,
                                struct.pack("<II", len(data), extent))
        put(UDF_PARTITION + entry[path], record)
