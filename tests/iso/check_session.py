#!/usr/bin/python3
"""Reads one session of a multi-session disc image (the blocks of a whole
disc, as a virtual writer stores them) with independent readers and checks
that each sees the source folder in both trees, like check_readers.py does
for an image's first session.

usage: check_session.py IMAGE SOURCE_DIR SESSION_START
       check_session.py --addresses IMAGE SESSION_START

A session's directories and files lie at absolute block addresses; only its
volume descriptors sit at SESSION_START + 16. Two ways of reading it:

- natively, where the reader can be told where the session starts:
  xorriso (-load sbsector N) and isoinfo (-T N);
- through a session view for the readers that always read the descriptors
  at block 16 (7-Zip, libcdio's iso-info, pycdlib; xorriso and isoinfo read
  it too): a sparse copy of the disc whose blocks from 16 to the terminator
  are the session's descriptors. That is the disc as a drive presents a
  later session to a reader that does not know about sessions.

bsdtar cannot read a later session: libarchive drops every entry whose
extent lies beyond the volume space size, and a session's volume space size
counts the blocks of that session only, while its entries lie at absolute
addresses past them.

--addresses prints "LBA<TAB>PATH" for every file of the session, as xorriso
reads the addresses.
"""

import os
import re
import shutil
import sys
import tempfile

import check_readers as readers

BLOCK = 2048
FIRST_DESCRIPTOR = 16
MAX_DESCRIPTORS = 32
TERMINATOR_TYPE = 255
# Readers that cannot read a session other than the first (see above).
UNABLE_READERS = {"bsdtar"}


def session_view(image, session_start, folder):
    """A sparse copy of the disc presenting the session at block 16."""
    view = os.path.join(folder, "session-view.img")
    readers.run(["cp", "--sparse=always", image, view])
    with open(image, "rb") as disc, open(view, "r+b") as out:
        for i in range(MAX_DESCRIPTORS):
            disc.seek((session_start + FIRST_DESCRIPTOR + i) * BLOCK)
            block = disc.read(BLOCK)
            if len(block) != BLOCK:
                raise RuntimeError("the session's descriptors run past the end of the disc")
            if block[0] in (1, 2):
                # The session's own volume space size counts its blocks only,
                # while its directories (and their Rock Ridge continuation
                # areas, which libisofs checks against it) lie at absolute
                # addresses: the view's volume ends where the session does.
                size = int.from_bytes(block[80:84], "little") + session_start
                block = block[:80] + size.to_bytes(4, "little") + size.to_bytes(4, "big") + block[88:]
            out.seek((FIRST_DESCRIPTOR + i) * BLOCK)
            out.write(block)
            if block[0] == TERMINATOR_TYPE:
                return view
    raise RuntimeError("no terminator among the session's first %d descriptors" % MAX_DESCRIPTORS)


def native_checks(image, source, session_start):
    def xorriso_extract(iso_tree):
        return lambda folder: (readers.xorriso_load(image, session_start, iso_tree)
                               + ["-osirrox", "on", "-extract", "/", folder])

    xorriso, isoinfo = "xorriso at the session", "isoinfo at the session"
    return [
        (xorriso, lambda: readers.compare_trees(xorriso, readers.xorriso_tree(image, session_start),
                                                 readers.joliet_view(source.tree))
         + readers.extraction_check(xorriso, xorriso_extract(False), source)
         + readers.iso_extraction_check(xorriso, xorriso_extract(True), source)),
        (isoinfo, lambda: readers.compare_trees(
            isoinfo, readers.isoinfo_tree(image, session_start),
            readers.latin1_view(readers.joliet_view(source.tree)))
         + readers.isoinfo_iso_check(image, source, session_start)),
    ]


def file_addresses(image, session_start):
    out = readers.run(readers.xorriso_load(image, session_start)
                      + ["-find", "/", "-type", "f", "-exec", "report_lba"]).decode("utf-8")
    addresses = {}
    for line in out.splitlines():
        match = re.match(r"^File data lba:\s*\d+\s*,\s*(\d+)\s*,\s*\d+\s*,\s*\d+\s*,\s*'(.*)'$", line)
        if match:
            addresses[readers.normalise(match.group(2))] = int(match.group(1))
    return addresses


def main():
    if sys.argv[1] == "--addresses":
        for path, lba in sorted(file_addresses(sys.argv[2], int(sys.argv[3])).items()):
            print("%d\t%s" % (lba, path))
        return 0
    image, source, session_start = sys.argv[1], readers.Folder(sys.argv[2]), int(sys.argv[3])
    problems = readers.run_checks(native_checks(image, source, session_start))
    folder = tempfile.mkdtemp(prefix="session-view-")
    try:
        view = session_view(image, session_start, folder)
        checks = [(reader, check) for reader, check in readers.reader_checks(view, source)
                  if reader not in UNABLE_READERS]
        problems += readers.run_checks(checks, "session view: ")
    except Exception as error:
        problems.append("session view: %s" % error)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
