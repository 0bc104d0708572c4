"""A small ISO 9660 image writer for the ISO reader's seeds and tests.

It lays out a tree as mkisofs would (ISO 9660 names, optionally Joliet
names), and lets a directory record lie: a size or an extent that no honest
image has, or a folder that points back at one of its ancestors. That is how
the hostile images are made without shipping them.

    build(tree, joliet=True, lies=None) -> bytes

`tree` maps paths with "/" ("install/eopylist.dat") to file bytes. `lies`
maps a path to fields its record states instead of the truth: "size",
"extent", or "ancestor" (the path of a folder whose extent a folder's record
gives, making a loop).
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


def build(tree, joliet=True, lies=None, label="ORVIK8"):
    lies = lies or {}
    folders = folders_of(tree)
    trees = [iso_name] + ([joliet_name] if joliet else [])
    first_free = SYSTEM_AREA + len(trees) + 1
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
    return bytes(image)
