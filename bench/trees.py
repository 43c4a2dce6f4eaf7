"""The benchmark's source trees: deterministic, made of real (non-sparse,
incompressible) bytes, generated once into a work folder and reused while
their recipe stays the same."""

import json
import os
import random
import shutil
from dataclasses import asdict, dataclass

KIB = 1024
MIB = 1024 * KIB
POOL_BYTES = 64 * MIB  # file contents are slices of one pseudo-random pool


@dataclass(frozen=True)
class Group:
    count: int       # files
    min_bytes: int
    max_bytes: int
    folders: int     # spread over this many folders (0: the tree's top)


@dataclass(frozen=True)
class Tree:
    name: str
    caption: str
    groups: tuple
    seed: int

    def file_count(self):
        return sum(g.count for g in self.groups)


def _tree(name, caption, seed, *groups):
    return Tree(name, caption, tuple(groups), seed)


TREES = {
    t.name: t
    for t in (
        _tree("medium", "40 files of 2-14 MiB, 2,000 of 1-64 KiB", 1,
              Group(40, 2 * MIB, 14 * MIB, 0), Group(2000, 1 * KIB, 64 * KIB, 20)),
        _tree("small", "30,000 files of 0-4 KiB in 300 folders", 2,
              Group(30000, 0, 4 * KIB, 300)),
        _tree("large", "60 files of 8-26 MiB, 4,000 of 1-64 KiB", 3,
              Group(60, 8 * MIB, 26 * MIB, 3), Group(4000, 1 * KIB, 64 * KIB, 40)),
        _tree("many", "100,000 files of 0-4 KiB in 1,000 folders", 4,
              Group(100000, 0, 4 * KIB, 1000)),
        # The growth series: the shape of "many" at 1,000 and 10,000 files.
        _tree("grow1k", "1,000 files of 0-4 KiB in 10 folders", 5,
              Group(1000, 0, 4 * KIB, 10)),
        _tree("grow10k", "10,000 files of 0-4 KiB in 100 folders", 6,
              Group(10000, 0, 4 * KIB, 100)),
        # Quick mode: the same shapes, small.
        _tree("quick-medium", "4 files of 2-14 MiB, 200 of 1-64 KiB", 7,
              Group(4, 2 * MIB, 14 * MIB, 0), Group(200, 1 * KIB, 64 * KIB, 2)),
        _tree("quick-small", "3,000 files of 0-4 KiB in 30 folders", 8,
              Group(3000, 0, 4 * KIB, 30)),
    )
}

_WORDS = ("alpha", "Bravo", "charlie delta", "Echo", "foxtrot", "golf hotel", "India",
          "juliett", "Kilo lima", "mike", "November", "oscar papa")


def _file_name(rng, index):
    # Mixed case, spaces and lengths up to about 60 characters: names that
    # need Joliet, all distinct through the index.
    words = " ".join(rng.choice(_WORDS) for _ in range(rng.randint(0, 4)))
    return f"{index:06d} {words}".strip()[:56] + rng.choice((".dat", ".txt", ".bin", ""))


def _generate(tree, root):
    rng = random.Random(tree.seed)
    pool = random.Random(tree.seed * 7919).randbytes(POOL_BYTES)
    index = 0
    for g, group in enumerate(tree.groups):
        folders = [root] if group.folders == 0 else [
            os.path.join(root, f"set {g} folder {f:04d}") for f in range(group.folders)]
        for folder in folders:
            os.makedirs(folder, exist_ok=True)
        for i in range(group.count):
            size = rng.randint(group.min_bytes, group.max_bytes)
            path = os.path.join(folders[i % len(folders)], _file_name(rng, index))
            index += 1
            start = rng.randrange(POOL_BYTES)
            with open(path, "wb") as out:
                left = size
                while left:
                    piece = min(left, POOL_BYTES - start)
                    out.write(pool[start:start + piece])
                    left -= piece
                    start = 0


def ensure_tree(tree, work):
    """The tree's folder under `work`, generated when missing or when its
    recipe changed."""
    root = os.path.join(work, "trees", tree.name)
    recipe = json.dumps(asdict(tree), sort_keys=True)
    stamp = root + ".recipe"
    if os.path.isdir(root) and os.path.exists(stamp) and open(stamp).read() == recipe:
        return root
    shutil.rmtree(root, ignore_errors=True)
    _generate(tree, root)
    with open(stamp, "w") as out:
        out.write(recipe)
    return root


def tree_bytes(root):
    total = 0
    for folder, _, files in os.walk(root):
        total += sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    return total
