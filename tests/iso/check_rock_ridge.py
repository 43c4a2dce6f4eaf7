#!/usr/bin/python3
"""Reads the Rock Ridge tree of an image (or of one session of a disc) with
independent readers and checks that each sees the source folders as a Linux
user gets them back: the same paths with their exact names, the same kind
(folder, file, symbolic link and its target), the same permission bits,
for files the same bytes, and the same modification time to the second
(TF) where the reader tells it: xorriso by what it extracts (files and
folders; it does not date the links it makes), bsdtar by what it extracts,
pycdlib by the TF entry itself.

usage: check_rock_ridge.py IMAGE [--session LBA] [--keep-links] [--without READER] DIR:MODES...

Each DIR's contents lie at the disc's root (a later DIR's entry replaces an
earlier one of the same path). MODES says what the disc records: "shared"
(readable by all, executable by all where the source had an execute bit, no
write bits, folders r-x) or "exact" (the source's own bits, as a peer's -R
records them). Without --keep-links a link inside DIR stands for what it
leads to. Readers: xorriso, isoinfo -R, bsdtar and pycdlib's Rock Ridge
paths (bsdtar and pycdlib read a later session through a session view,
see check_session.py). --without leaves a reader out, for a disc it is
known not to read.

Exit status 0 when every reader agrees.
"""

import calendar
import hashlib
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

import check_session


# A file of more bytes is recorded in several sections, which isoinfo and
# pycdlib list (on peers' discs too) one by one: their bytes are not compared.
SECTION_BYTES = 0xFFFFF800
SECTIONED = set()
JOINS_NO_SECTIONS = {"isoinfo -R", "pycdlib"}


def digest(data):
    return hashlib.sha256(data).hexdigest()


def file_digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def expected_tree(sources, keep_links):
    """{path: (kind, mode, target or digest, modification time)} from the
    source folders."""
    tree = {}
    for folder, modes in sources:
        for top, dirs, files in os.walk(folder):
            for name in dirs + files:
                full = os.path.join(top, name)
                path = "/" + os.path.relpath(full, folder)
                info = os.lstat(full)
                if stat.S_ISLNK(info.st_mode) and keep_links:
                    tree[path] = ("l", 0o777, os.readlink(full), int(info.st_mtime))
                    continue
                info = os.stat(full)
                bits = stat.S_IMODE(info.st_mode)
                if modes == "shared":
                    bits = 0o555 if stat.S_ISDIR(info.st_mode) else 0o444 | (0o111 if bits & 0o111 else 0)
                if stat.S_ISDIR(info.st_mode):
                    tree[path] = ("d", bits, "", int(info.st_mtime))
                else:
                    tree[path] = ("-", bits, file_digest(full), int(info.st_mtime))
                    if info.st_size > SECTION_BYTES:
                        SECTIONED.add(path)
    return tree


def mode_of(text):
    """'-r-xr-xr-x' -> ('-', 0o555)."""
    bits = 0
    for i, ch in enumerate(text[1:10]):
        if ch != "-":
            bits |= 1 << (8 - i)
    return text[0], bits


def run(command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def xorriso_tree(image, session):
    load = ["-load", "sbsector", str(session)] if session else []
    out = run(["xorriso", "-abort_on", "FATAL", "-return_with", "FATAL", "0"] + load
              + ["-indev", image, "-find", "/", "-exec", "lsdl", "--"]).decode("utf-8", "surrogateescape")
    tree = {}
    for line in out.splitlines():
        m = re.match(r"^(\S{10})\s+\d+\s+\S+\s+\S+\s+\d+\s+\S+\s+\d+\s+\S+\s+'(.*?)'(?: -> '(.*)')?$", line)
        if not m or m.group(2) == "/":
            continue
        kind, bits = mode_of(m.group(1))
        tree[m.group(2)] = (kind, bits, m.group(3) or "", None)
    with tempfile.TemporaryDirectory() as folder:
        out_dir = os.path.join(folder, "x")
        run(["xorriso", "-abort_on", "FATAL"] + load + ["-indev", image, "-osirrox", "on",
                                                       "-extract", "/", out_dir])
        fill_extracted(tree, out_dir)
        make_writable(out_dir)
    return tree


def fill_extracted(tree, root):
    """The bytes and the dates of the files and folders extracted to root."""
    for path, (kind, bits, extra, _) in list(tree.items()):
        if kind in "-d" and os.path.lexists(root + path):
            date = int(os.lstat(root + path).st_mtime)
            tree[path] = (kind, bits, file_digest(root + path) if kind == "-" else extra, date)


def make_writable(root):
    for top, dirs, _ in os.walk(root):
        for name in dirs:
            os.chmod(os.path.join(top, name), 0o755)


def isoinfo_tree(image, session):
    where = ["-T", str(session)] if session else []
    out = run(["isoinfo", "-R", "-l", "-i", image] + where).decode("utf-8", "surrogateescape")
    tree, folder = {}, "/"
    for line in out.splitlines():
        m = re.match(r"^Directory listing of (.*)$", line)
        if m:
            folder = m.group(1)
            continue
        m = re.match(r"^(\S{10})\s.*\]\s\s(.*?)\s*$", line)
        if not m or m.group(2) in (".", ".."):
            continue
        kind, bits = mode_of(m.group(1))
        name, target = m.group(2), ""
        if kind == "l":
            name, _, target = name.partition(" -> ")
        tree[folder + name] = (kind, bits, target, None)
    for path, (kind, bits, extra, _) in list(tree.items()):
        if kind == "-":
            tree[path] = (kind, bits, digest(run(["isoinfo", "-R", "-i", image, "-x", path] + where)), None)
    return tree


def extracted_tree(root):
    tree = {}
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(top, name)
            path = full[len(root):]
            info = os.lstat(full)
            date = int(info.st_mtime)
            if stat.S_ISLNK(info.st_mode):
                tree[path] = ("l", 0o777, os.readlink(full), date)
            elif stat.S_ISDIR(info.st_mode):
                tree[path] = ("d", stat.S_IMODE(info.st_mode), "", date)
            else:
                tree[path] = ("-", stat.S_IMODE(info.st_mode), file_digest(full), date)
    return tree


def bsdtar_tree(image, session):
    with tempfile.TemporaryDirectory() as folder:
        run(["bsdtar", "-x", "-p", "-f", image, "-C", folder])
        tree = extracted_tree(folder)
        make_writable(folder)
    return tree


def tf_modified(rock):
    """The modification time of a TF entry, in seconds since 1970. It is
    the time of flag bit 1, the second of the times recorded; pycdlib names
    its fields in another order (its access_time holds bit 1's time). A
    record without one differs from every source."""
    tf = rock.dr_entries.tf_record or rock.ce_entries.tf_record
    t = getattr(tf, tf.FIELDNAMES[1]) if tf is not None else None
    if t is None:
        return "no modification time"
    if tf.time_flags & 0x80:  # the 17-byte form of the volume descriptors
        fields = (t.year, t.month, t.dayofmonth, t.hour, t.minute, t.second)
    else:
        fields = (t.years_since_1900 + 1900, t.month, t.day_of_month, t.hour, t.minute, t.second)
    return calendar.timegm(fields + (0, 0, 0)) - t.gmtoffset * 15 * 60


def pycdlib_tree(image, session):
    import pycdlib
    iso = pycdlib.PyCdlib()
    iso.open(image)
    tree = {}
    try:
        for top, dirs, files in iso.walk(rr_path="/"):
            for name in dirs + files:
                path = top.rstrip("/") + "/" + name
                record = iso.get_record(rr_path=path)
                rock = record.rock_ridge
                mode = rock.get_file_mode()
                date = tf_modified(rock)
                if record.is_symlink():
                    tree[path] = ("l", stat.S_IMODE(mode), rock.symlink_path().decode("utf-8", "surrogateescape"),
                                  date)
                elif record.is_dir():
                    tree[path] = ("d", stat.S_IMODE(mode), "", date)
                else:
                    h = hashlib.sha256()
                    with iso.open_file_from_iso(rr_path=path) as f:
                        for chunk in iter(lambda: f.read(1 << 20), b""):
                            h.update(chunk)
                    tree[path] = ("-", stat.S_IMODE(mode), h.hexdigest(), date)
    finally:
        iso.close()
    return tree


def fold_relocation(tree, want):
    """Folders deeper than eight levels sit in /rr_moved (/rr_moved_1, ...
    where the source has a root entry of that name) with a stand-in where
    they belong. xorriso and bsdtar follow the stand-in; isoinfo -R and
    pycdlib list the stand-in and the folder's contents under the relocation
    folder, as they do on a peer's disc: those contents are put back where
    the stand-in is. The relocation folder itself is left out."""
    folder = next(f for f in ["/rr_moved"] + ["/rr_moved_%d" % n for n in range(1, 10)] if f not in want)
    for moved in [p for p in tree if p.startswith(folder + "/") and p.count("/") == 2]:
        name = moved.split("/")[2]
        stands = [p for p in tree if p.endswith("/" + name) and not p.startswith(folder + "/")
                  and not any(q.startswith(p + "/") for q in tree)]
        if len(stands) == 1:
            for path in [q for q in tree if q.startswith(moved + "/")]:
                tree[stands[0] + path[len(moved):]] = tree[path]
    for path in [q for q in tree if q == folder or q.startswith(folder + "/")]:
        del tree[path]
    return tree


def differences(reader, got, want):
    """What the reader shows otherwise than the source; a date the reader
    does not tell (None) is not compared."""
    want = {path: entry[:3] + (None,) if path in got and got[path][3] is None else entry
            for path, entry in want.items()}
    problems = []
    for path in sorted(set(got) | set(want)):
        if got.get(path) != want.get(path):
            problems.append("%s: %s shows %r, the source %r" % (reader, path, got.get(path), want.get(path)))
    return problems


def main():
    args = sys.argv[1:]
    image, session, keep_links, sources, without = args[0], 0, False, [], set()
    rest = iter(args[1:])
    for a in rest:
        if a == "--session":
            session = int(next(rest))
        elif a == "--keep-links":
            keep_links = True
        elif a == "--without":
            without.add(next(rest))
        else:
            folder, _, modes = a.rpartition(":")
            sources.append((folder, modes))
    want = expected_tree(sources, keep_links)
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        view = check_session.session_view(image, session, folder) if session else image
        readers = [("xorriso", lambda: xorriso_tree(image, session)),
                   ("isoinfo -R", lambda: isoinfo_tree(image, session)),
                   ("pycdlib", lambda: pycdlib_tree(view, 0)),
                   ("bsdtar", lambda: bsdtar_tree(view, 0))]
        for name, read in readers:
            if name in without:
                continue
            try:
                got, wanted = fold_relocation(read(), want), dict(want)
                if name in JOINS_NO_SECTIONS:
                    for path in SECTIONED:
                        for tree in (got, wanted):
                            if path in tree:
                                tree[path] = tree[path][:2] + ("sections",) + tree[path][3:]
                problems += differences(name, got, wanted)
            except Exception as error:  # a reader that fails is a failure
                problems.append("%s failed: %s" % (name, error))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
