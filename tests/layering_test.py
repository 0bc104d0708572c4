"""Checks every #include and every library link of the project against the
layer table in docs/ARCHITECTURE.md, the one place that says which layer may
use which.

    python3 tests/layering_test.py [SOURCE_ROOT]

Fails on a file no row names, on an include of a layer the row does not
allow, on a quoted include that is not a path from the source root (such as
"../ui/drives.h" or "resource.h"), on a project header included with angle
brackets, on a Windows header in a layer without Windows, and on a library
link outside the table.
"""
import fnmatch
import os
import re
import sys

TABLE_DOC = "docs/ARCHITECTURE.md"
TABLE_HEADING = "## Layers and what each may include"
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".rc")
# The Windows SDK headers this project uses or might: a portable layer that
# names one has stopped being portable.
WINDOWS_HEADERS = {
    "aclapi.h", "commctrl.h", "io.h", "objbase.h", "ole2.h", "sddl.h", "shellapi.h",
    "shlobj.h", "shlwapi.h", "shobjidl.h", "winbase.h", "windows.h", "winerror.h",
    "winioctl.h", "winnt.h", "winuser.h",
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)
LINK = re.compile(r"\btarget_link_libraries\s*\(([^)]*)\)")
LINK_KEYWORDS = {"PRIVATE", "PUBLIC", "INTERFACE"}


class Layer:
    def __init__(self, name, patterns, targets, may_include, windows):
        self.name = name
        self.patterns = patterns
        self.targets = targets
        self.may_include = may_include
        self.windows = windows

    def allows(self, other):
        return other is self or other.name in self.may_include


def ticked(cell):
    return re.findall(r"`([^`]+)`", cell)


def read_table(root):
    """The rows of the layer table: | layer | files | builds into | may
    include | Windows headers | holds |, names and paths in backticks."""
    with open(os.path.join(root, TABLE_DOC), encoding="utf-8") as doc:
        text = doc.read()
    start = text.index(TABLE_HEADING)
    layers = []
    for line in text[start:].splitlines()[1:]:
        if line.startswith("## "):
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if not line.startswith("|") or len(cells) != 6 or not cells[0].startswith("`"):
            continue
        name, files, targets, may, windows, _ = cells
        layers.append(Layer(ticked(name)[0], ticked(files), ticked(targets),
                            set(ticked(may)), windows == "yes"))
    if not layers:
        sys.exit(f"{TABLE_DOC}: no layer table under '{TABLE_HEADING}'")
    return layers


def check_table(root, layers):
    """Every name the table uses is a layer, every path it names is there."""
    names = {layer.name for layer in layers}
    files = list(source_files(root))
    faults = []
    for layer in layers:
        for other in sorted(layer.may_include - names):
            faults.append(f"{TABLE_DOC}: layer {layer.name} may include {other}, "
                          "which is no layer")
        for pattern in layer.patterns:
            if pattern.endswith("/"):
                there = os.path.isdir(os.path.join(root, pattern))
            else:
                there = any(fnmatch.fnmatchcase(path, pattern) for path in files)
            if not there:
                faults.append(f"{TABLE_DOC}: layer {layer.name} names {pattern}, "
                              "which holds no source file")
    return faults


def source_files(root):
    for folder, subfolders, files in os.walk(root):
        relative = os.path.relpath(folder, root).replace(os.sep, "/")
        subfolders[:] = sorted(
            name for name in subfolders
            if not name.startswith(".") and not (relative == "." and name.startswith("build")))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.normpath(os.path.join(relative, name)).replace(os.sep, "/")


def layer_of(path, layers):
    """A row that names the file itself wins over one that names its folder;
    among folders, the deepest."""
    by_file = [l for l in layers for p in l.patterns
               if not p.endswith("/") and fnmatch.fnmatchcase(path, p)]
    if len(by_file) > 1:
        raise ValueError(f"{path}: named by the layers "
                         + ", ".join(layer.name for layer in by_file))
    if by_file:
        return by_file[0]
    by_folder = [(len(p), l) for l in layers for p in l.patterns
                 if p.endswith("/") and path.startswith(p)]
    return max(by_folder, key=lambda match: match[0])[1] if by_folder else None


def check_includes(root, layers):
    faults, files, includes = [], 0, 0
    layer_cache = {}

    def layer_for(path):
        if path not in layer_cache:
            layer_cache[path] = layer_of(path, layers)
        return layer_cache[path]

    top_folders = {name for name in os.listdir(root) if os.path.isdir(os.path.join(root, name))}
    for path in source_files(root):
        files += 1
        try:
            layer = layer_for(path)
        except ValueError as ambiguous:
            faults.append(str(ambiguous))
            continue
        if layer is None:
            faults.append(f"{path}: in no layer of the table")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            text = source.read()
        for match in INCLUDE.finditer(text):
            includes += 1
            where = f"{path}:{text.count(chr(10), 0, match.start()) + 1}"
            quoted, name = match.group(1) == '"', match.group(2)
            if not quoted:
                if name.split("/")[0] in top_folders and os.path.isfile(os.path.join(root, name)):
                    faults.append(f'{where}: project header <{name}>: write "{name}"')
                elif name.lower() in WINDOWS_HEADERS and not layer.windows:
                    faults.append(f"{where}: <{name}> in {layer.name}, a layer without Windows")
                continue
            if name.startswith(("./", "../")) or "/../" in name \
                    or not os.path.isfile(os.path.join(root, name)):
                faults.append(f'{where}: "{name}" is not a path from the source root')
                continue
            try:
                target = layer_for(name)
            except ValueError:
                continue  # reported where the file itself is checked
            if target is not None and not layer.allows(target):
                faults.append(f'{where}: {layer.name} may not include "{name}" '
                              f"(layer {target.name})")
    return faults, files, includes


def cmake_files(root):
    for folder, subfolders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        subfolders[:] = [name for name in subfolders if not name.startswith(".")
                         and not (relative == "." and name.startswith("build"))]
        for name in files:
            if name == "CMakeLists.txt" or name.endswith(".cmake"):
                yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def check_links(root, layers):
    """Each target links only the libraries of the layers its own may use;
    a project library the table does not know is a fault, not a no-op."""
    owners = {}
    for layer in layers:
        for target in layer.targets:
            owners.setdefault(target, []).append(layer)
    faults, links = [], 0
    for path in cmake_files(root):
        with open(os.path.join(root, path), encoding="utf-8") as cmake:
            text = re.sub(r"#[^\n]*", "", cmake.read())
        for match in LINK.finditer(text):
            words = match.group(1).split()
            target, libraries = words[0], words[1:]
            if "$" in target:
                continue
            if target not in owners:
                faults.append(f"{path}: target {target} is in no layer of the table")
                continue
            for library in libraries:
                if library in LINK_KEYWORDS or library.startswith(("-", "$")) or "::" in library:
                    continue
                links += 1
                if library not in owners:
                    if library.startswith(("orvik_", "orvik-")):
                        faults.append(f"{path}: {target} links {library}, "
                                      "which is in no layer of the table")
                    continue  # a system library
                if not any(mine.allows(theirs) for mine in owners[target]
                           for theirs in owners[library]):
                    faults.append(f"{path}: {target} may not link {library}")
    return faults, links


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    layers = read_table(root)
    faults = check_table(root, layers)
    include_faults, files, includes = check_includes(root, layers)
    link_faults, links = check_links(root, layers)
    faults += include_faults + link_faults
    for fault in faults:
        print(fault)
    print(f"layering: {len(layers)} layers, {files} files, {includes} includes, "
          f"{links} links; {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
