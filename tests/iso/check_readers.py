#!/usr/bin/python3
"""Opens an image with independent ISO 9660 / Joliet readers and checks that
each one sees the tree of a source folder: the same directories, the same
files with the same sizes, and (where the reader can extract) the same bytes.

usage: check_readers.py IMAGE SOURCE_DIR

Exit status 0 when every available reader agrees. A reader whose program is
missing is skipped with a loud notice on stderr.
"""

import filecmp
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile

VERSION_SUFFIX = ";1"


def expected_tree(source):
    """{relative path: size or None for a directory} of the source folder."""
    tree = {}
    for top, dirs, files in os.walk(source):
        rel_top = os.path.relpath(top, source)
        for name in dirs:
            tree[os.path.normpath(os.path.join(rel_top, name))] = None
        for name in files:
            path = os.path.join(top, name)
            tree[os.path.normpath(os.path.join(rel_top, name))] = os.path.getsize(path)
    return tree


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


def compare_extraction(reader, folder, source, expected):
    problems = compare_trees(reader + " extract", expected_tree(folder), expected)
    for path, size in expected.items():
        target = os.path.join(folder, path)
        if size is not None and os.path.isfile(target):
            if not filecmp.cmp(os.path.join(source, path), target, shallow=False):
                problems.append("%s extract: %r differs from its source" % (reader, path))
    return problems


# --- readers: each returns {path: size or None} ---------------------------

def xorriso_load(image, session_start=0):
    """xorriso's arguments to open the session starting at that block."""
    load = ["-load", "sbsector", str(session_start)] if session_start else []
    return ["xorriso"] + load + ["-indev", image]


def xorriso_tree(image, session_start=0):
    out = run(xorriso_load(image, session_start) + ["-find", "/", "-exec", "lsdl"]).decode("utf-8")
    tree = {}
    for line in out.splitlines():
        match = re.match(r"^([d-])\S+\s+\d+\s+\S+\s+\S+\s+(\d+)\s.*?'(.*)'$", line)
        if match and match.group(3) != "/":
            tree[normalise(match.group(3))] = None if match.group(1) == "d" else int(match.group(2))
    return tree


def isoinfo_tree(image, session_start=0):
    # isoinfo prints Joliet names in ISO 8859-1, "_" for other characters.
    session = ["-T", str(session_start)] if session_start else []
    out = run(["isoinfo", "-l", "-J"] + session + ["-i", image]).decode("latin-1")
    tree, folder = {}, ""
    for line in out.splitlines():
        heading = re.match(r"^Directory listing of (.*)/$", line)
        if heading:
            folder = heading.group(1)
            continue
        match = re.match(r"^([d-])\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+.*?\]  (.*?) ?$", line)
        if match and match.group(3) not in (".", ".."):
            path = normalise(folder + "/" + match.group(3))
            tree[path] = None if match.group(1) == "d" else int(match.group(2))
    return tree


def latin1_view(tree):
    return {"".join(c if ord(c) < 256 else "_" for c in path): size for path, size in tree.items()}


def cdio_view(tree):
    """libcdio converts a Joliet name into a buffer as long as the UCS-2
    identifier, so a name whose UTF-8 form is longer comes out cut short (it
    does the same with images other tools write). Expect the cut names."""
    def cut(name, is_file):
        stored = name + VERSION_SUFFIX if is_file and "." in name else name
        budget = len(stored.encode("utf-16-be"))
        return normalise(stored.encode("utf-8")[:budget].decode("utf-8", "replace"))

    view = {}
    for path, size in tree.items():
        parts = path.split("/")
        view["/".join(cut(p, size is not None and i == len(parts) - 1)
                      for i, p in enumerate(parts))] = size
    return view


def sevenzip_tree(image):
    out = run(["7zz", "l", "-slt", image]).decode("utf-8")
    tree = {}
    for block in out.split("\n\n"):
        fields = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
        if "Path" in fields and "Folder" in fields and fields["Path"] != image:
            is_dir = fields["Folder"] == "+"
            tree[normalise(fields["Path"])] = None if is_dir else int(fields["Size"])
    return tree


def bsdtar_tree(image):
    out = run(["bsdtar", "-tvf", image]).decode("utf-8")
    tree = {}
    for line in out.splitlines():
        fields = line.split(None, 8)
        if len(fields) == 9 and fields[8] != ".":
            tree[normalise(fields[8])] = None if fields[0].startswith("d") else int(fields[4])
    return tree


def isoinfo_cdio_tree(image):
    out = run(["iso-info", "--no-header", "-l", image]).decode("utf-8", "replace")
    tree, folder = {}, ""
    for line in out.splitlines():
        heading = re.match(r"^(/.*):$", line)
        if heading:
            folder = heading.group(1)
            continue
        match = re.match(r"^\s+([d-]) \[LSN\s+\d+\]\s+(\d+) \w{3} \d\d \d{4} \S+  (.*)$", line)
        if match and match.group(3) not in (".", ".."):
            path = normalise(folder + "/" + match.group(3))
            tree[path] = None if match.group(1) == "d" else int(match.group(2))
    return tree


def pycdlib_check(image, source, expected):
    import pycdlib

    iso = pycdlib.PyCdlib()
    iso.open(image)
    tree, problems = {}, []
    try:
        for top, dirs, files in iso.walk(joliet_path="/"):
            for name in dirs:
                tree[normalise(top + "/" + name)] = None
            for name in files:
                joliet_path = (top.rstrip("/") + "/" + name)
                data = io.BytesIO()
                iso.get_file_from_iso_fp(data, joliet_path=joliet_path)
                path = normalise(joliet_path)
                tree[path] = len(data.getvalue())
                if path in expected and expected[path] is not None:
                    with open(os.path.join(source, path), "rb") as original:
                        if original.read() != data.getvalue():
                            problems.append("pycdlib extract: %r differs from its source" % path)
    finally:
        iso.close()
    return compare_trees("pycdlib", tree, expected) + problems


def extraction_check(reader, args_for, source, expected):
    folder = tempfile.mkdtemp(prefix="reader-extract-")
    try:
        run(args_for(folder))
        for top, dirs, files in os.walk(folder):  # some readers extract read-only
            os.chmod(top, 0o755)
        return compare_extraction(reader, folder, source, expected)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def reader_checks(image, source, expected):
    """(reader, check) pairs; each check returns a list of problems."""
    return [
        ("xorriso", lambda: compare_trees("xorriso", xorriso_tree(image), expected)
         + extraction_check("xorriso", lambda d: ["xorriso", "-osirrox", "on", "-indev", image,
                                                  "-extract", "/", d], source, expected)),
        ("isoinfo", lambda: compare_trees("isoinfo", isoinfo_tree(image), latin1_view(expected))),
        ("7zz", lambda: compare_trees("7zz", sevenzip_tree(image), expected)
         + extraction_check("7zz", lambda d: ["7zz", "x", "-y", "-o" + d, image], source, expected)),
        ("bsdtar", lambda: compare_trees("bsdtar", bsdtar_tree(image), expected)
         + extraction_check("bsdtar", lambda d: ["bsdtar", "-xf", image, "-C", d], source, expected)),
        ("iso-info", lambda: compare_trees("iso-info", isoinfo_cdio_tree(image), cdio_view(expected))),
        ("pycdlib", lambda: pycdlib_check(image, source, expected)),
    ]


def reader_available(reader):
    program = {"pycdlib": None}.get(reader, reader)
    if program is not None and shutil.which(program) is None:
        print("*** READER SKIPPED: %s is not installed (scripts/setup.sh installs it) ***"
              % reader, file=sys.stderr)
        return False
    if reader == "pycdlib":
        try:
            import pycdlib  # noqa: F401
        except ImportError:
            print("*** READER SKIPPED: pycdlib is not installed (python3-pycdlib) ***",
                  file=sys.stderr)
            return False
    return True


def run_checks(checks, label=""):
    """Runs the available checks, prints a line per reader; returns the problems."""
    problems = []
    for reader, check in checks:
        if not reader_available(reader.split(" ")[0]):
            continue
        try:
            found = check()
        except Exception as error:  # a reader that rejects the image is a failure
            found = ["%s: %s" % (reader, error)]
        problems += found
        print("%s%s: %s" % (label, reader, "ok" if not found else "%d problem(s)" % len(found)))
    return problems


def main():
    image, source = sys.argv[1], sys.argv[2]
    problems = run_checks(reader_checks(image, source, expected_tree(source)))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
