#!/usr/bin/python3
"""Opens an image with independent ISO 9660 / Joliet readers and checks that
each one sees a source folder in both of its trees.

usage: check_readers.py IMAGE SOURCE_DIR

The Joliet tree holds the source folder whole: the same directories, the
same files with the same sizes and modification times (to the second, where
the reader extracts or tells them) and, where the reader can extract, the
same bytes. Names are compared as the disc shows them: the bytes of a name
that are no UTF-8 read as ISO 8859-1 characters, as the engine converts
them; Joliet holds no ";" (it is "_") and at most 103 UTF-16 units (a
longer name keeps its start and its extension); 7-Zip lists a name without
one trailing ".".

The ISO 9660 tree carries 8.3 names of upper-case d-characters, each
source file's plain extension kept, so it is compared by those names' form
and by shape and contents: at each depth the same number of folders; every
non-empty file
with its size and, where the reader can extract, its bytes; no other
non-empty file; and at least the empty files. Folders below level 8 (the
root is level 1) are moved into a relocation folder at the root, where
plain readers find them and Rock Ridge readers find them in place: a tree
that deep is compared without depths, with at least as many folders. xorriso's
main tree is read as Joliet (-read_fs norock). 7-Zip reads only the Joliet
tree of an image that has one; the other readers read both.

Exit status 0 when every reader agrees. A reader that is not installed is a
failure (scripts/setup.sh installs them all), never a pass.
"""

import calendar
import codecs
import copy
import collections
import filecmp
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile

VERSION_SUFFIX = ";1"
ISO_FOLDER_LEVELS = 8  # the root is level 1


def _bytes_as_latin1(error):
    return "".join(chr(b) for b in error.object[error.start:error.end]), error.end


codecs.register_error("bytes-as-latin1", _bytes_as_latin1)


def disc_name(name):
    """A name from the file system as the disc shows it."""
    return os.fsencode(name).decode("utf-8", "bytes-as-latin1")


class Folder:
    """A folder on disk: `tree` is {path as the disc shows it: size, None for a
    directory}; `files` says where each file lies."""

    def __init__(self, root):
        self.tree, self.files = {}, {}
        for top, dirs, files in os.walk(root):
            rel_top = disc_name(os.path.relpath(top, root))
            for name in dirs:
                self.tree[os.path.normpath(os.path.join(rel_top, disc_name(name)))] = None
            for name in files:
                path = os.path.normpath(os.path.join(rel_top, disc_name(name)))
                self.tree[path] = os.path.getsize(os.path.join(top, name))
                self.files[path] = os.path.join(top, name)

    def mtime(self, path):
        return int(os.stat(self.files[path]).st_mtime)

    def digest(self, path):
        with open(self.files[path], "rb") as contents:
            return hashlib.sha256(contents.read()).hexdigest()


JOLIET_UNITS = 103
LONGEST_EXTENSION = 16  # units, the "." included


def joliet_name(name):
    """A name as the Joliet tree holds it (without a number that a clash
    with a sibling would add)."""
    name = name.replace(";", "_")
    units = name.encode("utf-16-be")
    if len(units) <= 2 * JOLIET_UNITS:
        return name
    dot = name.rfind(".")
    extension = name[dot:] if 0 < dot < len(name) - 1 and len(name[dot:].encode("utf-16-be")) <= 2 * LONGEST_EXTENSION else ""
    room = 2 * JOLIET_UNITS - len(extension.encode("utf-16-be"))
    stem = units[:len(units) - len(extension.encode("utf-16-be"))][:room]
    if len(stem) >= 2 and 0xD8 <= stem[-2] <= 0xDB:
        stem = stem[:-2]  # never half a character
    return stem.decode("utf-16-be") + extension


def joliet_view(tree):
    return {"/".join(joliet_name(p) for p in path.split("/")): size for path, size in tree.items()}


def sevenzip_view(tree, extracted=False):
    """7-Zip drops one trailing "." of a name; a name that becomes ".." it
    extracts as "_"."""
    def shown(part):
        part = part[:-1] if part.endswith(".") else part
        return "_" if extracted and part == ".." else part
    return {"/".join(shown(p) for p in path.split("/")): size for path, size in joliet_view(tree).items()}


def normalise(path):
    path = path.strip("/")
    if path.startswith("./"):
        path = path[2:]
    parts = [p[: -len(VERSION_SUFFIX)] if p.endswith(VERSION_SUFFIX) else p
             for p in path.split("/") if p]
    return "/".join(parts)


def run(args):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    done = subprocess.run(args, capture_output=True, env=env)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (args[0], done.returncode,
                                                  done.stderr.decode("utf-8", "replace")))
    return done.stdout


# --- comparing the Joliet tree ---------------------------------------------

def compare_trees(reader, seen, expected):
    problems = []
    for path in sorted(set(expected) | set(seen)):
        if path not in seen:
            problems.append("%s: missing %r" % (reader, path))
        elif path not in expected:
            problems.append("%s: unexpected %r" % (reader, path))
        elif seen[path] != expected[path]:
            problems.append("%s: %r has %r, expected %r" % (reader, path, seen[path], expected[path]))
    return problems


def compare_extraction(reader, folder, source, view=None):
    """`view`: the source's paths as the reader names them."""
    extracted = Folder(folder)
    names = {path: (view or joliet_view)({path: None}).popitem()[0] for path in source.tree}
    problems = compare_trees(reader + " extract", extracted.tree,
                             {names[path]: size for path, size in source.tree.items()})
    for path, size in source.tree.items():
        shown = names[path]
        if size is not None and shown in extracted.files:
            if not filecmp.cmp(source.files[path], extracted.files[shown], shallow=False):
                problems.append("%s extract: %r differs from its source" % (reader, path))
            want, got = source.mtime(path), int(os.stat(extracted.files[shown]).st_mtime)
            if want != got:
                problems.append("%s extract: %r dated %d, expected %d" % (reader, path, got, want))
    return problems


# --- comparing the ISO 9660 tree -------------------------------------------

ISO_FILE_NAME = re.compile(r"^[A-Z0-9_]{1,8}(\.[A-Z0-9_]{0,3})?$")
ISO_FOLDER_NAME = re.compile(r"^[A-Z0-9_]{1,8}$")
PLAIN_EXTENSION = re.compile(r"^[^.].*\.[A-Za-z0-9]{1,3}$")


def depth(path):
    return len(path.split("/"))


def deeper_than_iso(tree):
    """Whether a folder of the tree lies below ISO 9660's eighth level: it is
    then moved into the relocation folder at the root, where readers of the
    plain tree find it, while Rock Ridge readers find it where it belongs."""
    return any(size is None and depth(path) >= ISO_FOLDER_LEVELS for path, size in tree.items())


def iso_shape(tree, digest=None, flat=False):
    """Folders per depth, non-empty files by (depth, size, digest or None),
    empty files per depth; `flat` counts every depth as 0."""
    folders, files, empties = collections.Counter(), collections.Counter(), collections.Counter()
    for path, size in tree.items():
        level = 0 if flat else depth(path)
        if size is None:
            folders[level] += 1
        elif size == 0:
            empties[level] += 1
        else:
            files[(level, size, digest(path) if digest else None)] += 1
    return folders, files, empties


def compare_iso(reader, seen, source, seen_digest=None, plain_names=True):
    """`seen`: the reader's ISO 9660 tree; `seen_digest(path)`: the digest of
    the bytes it extracted for a file, where it can extract; `plain_names`:
    the reader shows the 8.3 names (iso-info shows Rock Ridge's instead
    whenever a disc has them, whatever its options say)."""
    expected = dict(source.tree)
    flat = deeper_than_iso(expected)
    want_folders, want_files, want_empties = iso_shape(expected, source.digest if seen_digest else None, flat)
    folders, files, empties = iso_shape(seen, seen_digest, flat)
    names = {}
    for path, size in expected.items():
        if size:
            names.setdefault((0 if flat else depth(path), size, source.digest(path) if seen_digest else None), path)
    problems = []
    reader += " ISO 9660"
    for path, size in seen.items() if plain_names else ():
        part = path.split("/")[-1]
        form = ISO_FILE_NAME if size is not None else ISO_FOLDER_NAME
        if not form.match(part[:-1] if part.endswith(".") else part):
            problems.append("%s: %r is no 8.3 name of d-characters" % (reader, path))
    def extensions(tree):
        return collections.Counter((0 if flat else depth(p), p.rsplit(".", 1)[1].upper())
                                   for p, size in tree.items()
                                   if size is not None and PLAIN_EXTENSION.match(p.split("/")[-1]))
    for level, extension in sorted((extensions(expected) - extensions(seen)).elements() if plain_names else ()):
        problems.append("%s: a .%s file at depth %d lost its extension" % (reader, extension, level))
    # A reader that follows Rock Ridge may also list the relocation folder,
    # and the moved folders in it a second time.
    if (folders != want_folders) if not flat else (folders[0] < want_folders[0]):
        problems.append("%s: folders per depth %s, expected %s"
                        % (reader, sorted(folders.items()), sorted(want_folders.items())))
    for key in sorted((want_files - files).elements()):
        problems.append("%s: %r missing or changed (%d bytes at depth %d)" % (reader, names[key], key[1], key[0]))
    for key in sorted((files - want_files).elements()):
        problems.append("%s: unexpected file of %d bytes at depth %d" % (reader, key[1], key[0]))
    for level in sorted((want_empties - empties).elements()):
        problems.append("%s: an empty file missing at depth %d" % (reader, level))
    return problems


def digest_of_bytes(data):
    return hashlib.sha256(data).hexdigest()


def folder_digests(folder):
    """Digest of each file extracted into `folder`, by normalised path."""
    extracted = Folder(folder)
    return extracted.tree, {normalise(p): extracted.digest(p) for p in extracted.files}


def normalised(tree):
    return {normalise(path): size for path, size in tree.items()}


# --- readers: each lists {path: size or None} -------------------------------

def xorriso_load(image, session_start=0, iso_tree=False):
    """xorriso's arguments to open the session starting at that block; with
    iso_tree the ISO 9660 tree instead of the Joliet tree."""
    load = ["-load", "sbsector", str(session_start)] if session_start else []
    read_fs = ["-read_fs", "ecma119" if iso_tree else "norock"]
    return ["xorriso"] + read_fs + load + ["-indev", image]


def xorriso_tree(image, session_start=0):
    out = run(xorriso_load(image, session_start) + ["-find", "/", "-exec", "lsdl"]).decode("utf-8")
    tree = {}
    for line in out.splitlines():
        match = re.match(r"^([d-])\S+\s+\d+\s+\S+\s+\S+\s+(\d+)\s.*?'(.*)'$", line)
        # xorriso quotes a name in ' and writes a ' inside it as '"'"'.
        name = match.group(3).replace("'\"'\"'", "'") if match else None
        if match and name != "/":
            tree[normalise(name)] = None if match.group(1) == "d" else int(match.group(2))
    return tree


def isoinfo_listing(image, session_start=0, joliet=True):
    """{path as isoinfo names it: size or None}. isoinfo prints Joliet names in
    ISO 8859-1, "_" for other characters."""
    session = ["-T", str(session_start)] if session_start else []
    out = run(["isoinfo", "-l"] + (["-J"] if joliet else []) + session + ["-i", image]).decode("latin-1")
    listing, folder = {}, ""
    for line in out.splitlines():
        heading = re.match(r"^Directory listing of (.*)/$", line)
        if heading:
            folder = heading.group(1)
            continue
        match = re.match(r"^([d-])\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+.*?\]  (.*?) ?$", line)
        if match and match.group(3) not in (".", ".."):
            listing[folder + "/" + match.group(3)] = None if match.group(1) == "d" else int(match.group(2))
    return listing


def isoinfo_tree(image, session_start=0):
    return normalised(isoinfo_listing(image, session_start))


def extracted_digests(listing, extract):
    """Digest of every non-empty file of a listing, each extracted alone by
    `extract(path, target)`, by normalised path."""
    folder = tempfile.mkdtemp(prefix="reader-file-")
    try:
        digests, target = {}, os.path.join(folder, "file")
        for path, size in listing.items():
            if size:
                run(extract(path, target))
                with open(target, "rb") as data:
                    digests[normalise(path)] = digest_of_bytes(data.read())
        return digests
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def isoinfo_iso_check(image, source, session_start=0):
    listing = isoinfo_listing(image, session_start, joliet=False)
    session = ["-T", str(session_start)] if session_start else []

    def extract(path, target):
        return ["sh", "-c", 'isoinfo "$@" > "$0"', target] + session + ["-i", image, "-x", path]

    digests = extracted_digests(listing, extract)
    return compare_iso("isoinfo", normalised(listing), source, digests.get)


def latin1_view(tree):
    """isoinfo shows "_" for a character outside ISO 8859-1 and for a C1
    control character."""
    def shown(c):
        return c if ord(c) < 0x80 or 0xA0 <= ord(c) < 0x100 else "_"
    return {"".join(shown(c) for c in path): size for path, size in tree.items()}


def cdio_view(tree):
    """libcdio converts a Joliet name into a buffer as long as the UCS-2
    identifier, so a name whose UTF-8 form is longer comes out cut short (it
    does the same with images other tools write). Expect the cut names."""
    def cut(name):
        budget = len(name.encode("utf-16-be"))
        return name.encode("utf-8")[:budget].decode("utf-8", "surrogateescape")

    return {"/".join(cut(p) for p in path.split("/")): size for path, size in tree.items()}


def sevenzip_tree(image):
    out = run(["7zz", "l", "-slt", image]).decode("utf-8")
    tree = {}
    for block in out.split("\n\n"):
        fields = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
        if "Path" in fields and "Folder" in fields and fields["Path"] != image:
            is_dir = fields["Folder"] == "+"
            tree[normalise(fields["Path"])] = None if is_dir else int(fields["Size"])
    return tree


def bsdtar_options(iso_tree):
    """bsdtar prefers Rock Ridge (tests/iso/check_rock_ridge.py compares
    that tree): here it reads Joliet, or the plain ISO 9660 names."""
    return ["--options", "iso9660:!joliet,!rockridge" if iso_tree else "iso9660:!rockridge"]


def bsdtar_name(listed):
    """bsdtar lists the bytes of a character it cannot print as octal escapes."""
    raw = re.sub(rb"\\([0-7]{3})", lambda m: bytes([int(m.group(1), 8)]), listed.encode("utf-8"))
    # A Rock Ridge name holds the bytes as they were: shown as the disc's
    # Joliet name shows them.
    return raw.decode("utf-8", "bytes-as-latin1")


def bsdtar_tree(image):
    out = run(["bsdtar"] + bsdtar_options(False) + ["-tvf", image]).decode("utf-8")
    tree = {}
    for line in out.splitlines():
        fields = line.split(None, 8)
        if len(fields) == 9 and fields[8] != ".":
            tree[normalise(bsdtar_name(fields[8]))] = None if fields[0].startswith("d") else int(fields[4])
    return tree


def cdio_listing(image, iso_tree=False):
    out = run(["iso-info", "--no-header", "-l"] + (["--no-joliet"] if iso_tree else []) + [image])
    listing, folder = {}, ""
    # Rock Ridge names are bytes: kept as they are, so iso-read finds them.
    for line in out.decode("utf-8", "surrogateescape").splitlines():
        heading = re.match(r"^(/.*):$", line)
        if heading:
            folder = heading.group(1).rstrip("/")
            continue
        # With Rock Ridge each line opens with the mode, links, owner and group.
        match = re.match(r"^\s+([dl-])(?:\S{9}\s+\d+ \d+ \d+)? *\[LSN\s+\d+\]\s+(\d+) \w{3} \d\d \d{4} \S+  (.*)$",
                         line)
        if match and match.group(3) not in (".", "..") and match.group(1) != "l":
            listing[folder + "/" + match.group(3)] = None if match.group(1) == "d" else int(match.group(2))
    return listing


def isoinfo_cdio_tree(image):
    return normalised(cdio_listing(image))


def cdio_iso_check(image, source):
    listing = cdio_listing(image, iso_tree=True)
    digests = extracted_digests(listing, lambda path, target: ["iso-read", "-i", image, "-e", path, "-o", target])
    # iso-info shows ISO 9660 names in lower case.
    upper = {path.upper(): digest for path, digest in digests.items()}
    # It also cuts ";1" off a Rock Ridge name, on peers' discs as on ours:
    # "notes;1" beside "notes" is listed once. Names it lists alike are left
    # out on both sides.
    def cut(path):
        return "/".join(re.sub(r";\d+$", "", part) for part in path.split("/"))
    alike = {path for path, count in collections.Counter(map(cut, source.tree)).items() if count > 1}
    view = copy.copy(source)
    view.tree = {path: size for path, size in source.tree.items() if cut(path) not in alike}
    seen = {path.upper(): size for path, size in normalised(listing).items() if path not in alike}
    return compare_iso("iso-info", seen, view, upper.get, plain_names=False)


def pycdlib_walk(image, tree_argument):
    """{normalised path: size or None}, {normalised path: digest} and
    {normalised path: recording date in seconds since 1970} of one tree."""
    import pycdlib

    iso = pycdlib.PyCdlib()
    iso.open(image)
    tree, digests, dates = {}, {}, {}
    try:
        for top, dirs, files in iso.walk(**{tree_argument: "/"}):
            for name in dirs:
                tree[normalise(top + "/" + name)] = None
            for name in files:
                path = top.rstrip("/") + "/" + name
                data = io.BytesIO()
                iso.get_file_from_iso_fp(data, **{tree_argument: path})
                tree[normalise(path)] = len(data.getvalue())
                digests[normalise(path)] = digest_of_bytes(data.getvalue())
                date = iso.get_record(**{tree_argument: path}).date
                local = calendar.timegm((date.years_since_1900 + 1900, date.month, date.day_of_month,
                                         date.hour, date.minute, date.second))
                dates[normalise(path)] = local - date.gmtoffset * 15 * 60
    finally:
        iso.close()
    return tree, digests, dates


def pycdlib_check(image, source):
    tree, digests, dates = pycdlib_walk(image, "joliet_path")
    problems = compare_trees("pycdlib", tree, joliet_view(source.tree))
    for path, size in source.tree.items():
        shown = list(joliet_view({path: None}))[0]
        if size is not None and shown in digests and digests[shown] != source.digest(path):
            problems.append("pycdlib extract: %r differs from its source" % path)
        if size is not None and shown in dates and dates[shown] != source.mtime(path):
            problems.append("pycdlib: %r dated %d, expected %d" % (path, dates[shown], source.mtime(path)))
    iso_tree, iso_digests, _ = pycdlib_walk(image, "iso_path")
    return problems + compare_iso("pycdlib", iso_tree, source, iso_digests.get)


def extraction(args_for, check):
    """Runs a reader's extraction into a fresh folder and checks the folder."""
    folder = tempfile.mkdtemp(prefix="reader-extract-")
    try:
        run(args_for(folder))
        for top, dirs, files in os.walk(folder):  # some readers extract read-only
            os.chmod(top, 0o755)
        return check(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def extraction_check(reader, args_for, source, view=None):
    return extraction(args_for, lambda folder: compare_extraction(reader, folder, source, view))


def iso_extraction_check(reader, args_for, source):
    def check(folder):
        tree, digests = folder_digests(folder)
        return compare_iso(reader + " extract", normalised(tree), source, digests.get)
    return extraction(args_for, check)


def reader_checks(image, source):
    """(reader, check) pairs; each check returns a list of problems."""
    def xorriso_extract(iso_tree):
        return lambda d: xorriso_load(image, iso_tree=iso_tree) + ["-osirrox", "on", "-extract", "/", d]

    def bsdtar_extract(iso_tree):
        return lambda d: ["bsdtar"] + bsdtar_options(iso_tree) + ["-xf", image, "-C", d]

    return [
        ("xorriso", lambda: compare_trees("xorriso", xorriso_tree(image), joliet_view(source.tree))
         + extraction_check("xorriso", xorriso_extract(False), source)
         + iso_extraction_check("xorriso", xorriso_extract(True), source)),
        ("isoinfo", lambda: compare_trees("isoinfo", isoinfo_tree(image), latin1_view(joliet_view(source.tree)))
         + isoinfo_iso_check(image, source)),
        ("7zz", lambda: compare_trees("7zz", sevenzip_tree(image), sevenzip_view(source.tree))
         + extraction_check("7zz", lambda d: ["7zz", "x", "-y", "-o" + d, image], source,
                            lambda tree: sevenzip_view(tree, extracted=True))),
        ("bsdtar", lambda: compare_trees("bsdtar", bsdtar_tree(image), joliet_view(source.tree))
         + extraction_check("bsdtar", bsdtar_extract(False), source)
         + iso_extraction_check("bsdtar", bsdtar_extract(True), source)),
        ("iso-info", lambda: compare_trees("iso-info", isoinfo_cdio_tree(image), cdio_view(joliet_view(source.tree)))
         + cdio_iso_check(image, source)),
        ("pycdlib", lambda: pycdlib_check(image, source)),
    ]


PROGRAMS = {"xorriso": ["xorriso"], "isoinfo": ["isoinfo"], "7zz": ["7zz"], "bsdtar": ["bsdtar"],
            "iso-info": ["iso-info", "iso-read"], "pycdlib": []}


def missing_parts(reader):
    """What of a reader is not installed."""
    missing = [program for program in PROGRAMS.get(reader, [reader]) if shutil.which(program) is None]
    if reader == "pycdlib":
        try:
            import pycdlib  # noqa: F401
        except ImportError:
            missing.append("the python3 module pycdlib")
    return missing


def run_checks(checks, label=""):
    """Runs the checks, prints a line per reader; returns the problems. A
    reader that is not installed is a problem like any other."""
    problems = []
    for reader, check in checks:
        missing = missing_parts(reader.split(" ")[0])
        if missing:
            found = ["%s: not installed: %s (scripts/setup.sh installs it)" % (reader, ", ".join(missing))]
        else:
            try:
                found = check()
            except Exception as error:  # a reader that rejects the image is a failure
                found = ["%s: %s" % (reader, error)]
        problems += found
        print("%s%s: %s" % (label, reader, "ok" if not found else "%d problem(s)" % len(found)))
    return problems


def main():
    image, source = sys.argv[1], Folder(sys.argv[2])
    problems = run_checks(reader_checks(image, source))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
