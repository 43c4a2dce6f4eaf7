#!/usr/bin/env python3
"""Burns the benchmark trees onto a virtual DVD+R with `quillon burn --dvd`
and writes the same trees with genisoimage and xorriso, interleaved, and
prints the medians: wall time, peak memory, ours as a ratio of each peer,
drive commands per MiB written, the burn's pace with 125 us per drive
command, and the growth of layout and burn time with the number of files.

Run it through bench/run.sh, which builds quillon first."""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import trees  # noqa: E402

MIB = 1024 * 1024
LATENCY_US = 125
TIME = "/usr/bin/time"  # GNU time, for the peak resident memory
PEERS = {
    "genisoimage": ["genisoimage", "-quiet", "-J", "-joliet-long", "-D", "-o"],
    "xorriso": ["xorriso", "-as", "mkisofs", "-quiet", "-J", "-joliet-long", "-D", "-o"],
}
MAIN_TREES = ("medium", "small", "large", "many")
QUICK_TREES = ("quick-medium", "quick-small")
GROWTH_TREES = ("grow1k", "grow10k", "many")
QUICK_GROWTH = ("grow1k", "quick-small")


@dataclass
class Sample:
    seconds: float
    rss_kib: int


@dataclass
class TreeResult:
    tree: trees.Tree
    source_bytes: int = 0
    image_blocks: int = 0
    samples: dict = field(default_factory=dict)  # tool -> [Sample]
    commands_per_mib: float = 0.0
    layout_ms: float = 0.0
    latency_seconds: float = 0.0

    def median(self, tool):
        return statistics.median(s.seconds for s in self.samples[tool])

    def peak_mib(self, tool):
        return statistics.median(s.rss_kib for s in self.samples[tool]) / 1024


def run_measured(argv, env=None):
    """Wall time and peak resident memory of one run of `argv`. The peak
    comes from GNU time: a child forked from this Python process would count
    the interpreter's memory as its own (Linux keeps the high-water mark
    across exec)."""
    fd, report = tempfile.mkstemp(prefix="bench-rss-")
    os.close(fd)
    start = time.perf_counter()
    process = subprocess.run([TIME, "-f", "%M", "-o", report] + argv, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - start
    with open(report) as f:
        rss_kib = int(f.read().split()[-1])
    os.remove(report)
    if process.returncode != 0:
        sys.exit(f"bench: {' '.join(argv)} failed ({process.returncode}):\n"
                 + process.stderr.decode(errors="replace"))
    return Sample(seconds, rss_kib)


class Ours:
    """`quillon burn --dvd` onto a fresh virtual DVD+R in the work folder."""

    def __init__(self, quillon, work):
        self.quillon = quillon
        self.disc = os.path.join(work, "disc")
        self.env = dict(os.environ)
        self.env.update({
            "XDG_DATA_HOME": os.path.join(work, "xdg"),
            "WNASPI32_VIRTUAL_WRITERS": f"dvd+r={self.disc}",
            "WNASPI32_REAL_DRIVES": "0",
        })
        for name in ("WNASPI32_TRACE", "WNASPI32_VIRTUAL_FAULTS", "WNASPI32_VIRTUAL_LATENCY_US",
                     "WNASPI32_DEBUG"):
            self.env.pop(name, None)
        subprocess.run([quillon, "register"], env=self.env, check=True, stdout=subprocess.DEVNULL)

    def burn(self, source, **extra_env):
        shutil.rmtree(self.disc, ignore_errors=True)
        env = dict(self.env, **extra_env)
        return run_measured([self.quillon, "burn", "--dvd", "--no-verify", "--label", "BENCH", source], env)

    def image_blocks(self):
        # The volume space size of the primary descriptor (block 16, bytes 80-83).
        with open(os.path.join(self.disc, "disc.img"), "rb") as image:
            image.seek(16 * 2048 + 80)
            return int.from_bytes(image.read(4), "little")


_TRACE_LINE = re.compile(r"^(\d+):(\d+):(\d+\.\d+) \S+ EXEC \[([0-9A-F ]+)\] \w+ (\d+)")


def read_trace(path):
    """(seconds of the day, CDB bytes, transfer length) of each command."""
    commands = []
    with open(path) as trace:
        for line in trace:
            match = _TRACE_LINE.match(line)
            if match:
                h, m, s, cdb, length = match.groups()
                commands.append((int(h) * 3600 + int(m) * 60 + float(s),
                                 bytes.fromhex(cdb), int(length)))
    return commands


def trace_figures(commands):
    """Drive commands per MiB written and the layout time: the pause between
    the burn's MODE SELECT (the drive is prepared) and the command after it
    (the image is built)."""
    written = sum(length for _, cdb, length in commands if cdb[0] == 0x2A)
    select = max(i for i, (_, cdb, _) in enumerate(commands) if cdb[0] == 0x55)
    layout = commands[select + 1][0] - commands[select][0]
    return len(commands) / (written / MIB), layout * 1000


def read_through(source):
    """Reads every file once, so that every tool finds the tree in the page
    cache."""
    for folder, _, files in os.walk(source):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                while f.read(MIB):
                    pass


def measure_tree(tree, work, ours, runs, peers=True):
    source = trees.ensure_tree(tree, work)
    read_through(source)
    result = TreeResult(tree, source_bytes=trees.tree_bytes(source))
    output = os.path.join(work, "peer.iso")
    tools = ["ours"] + (list(PEERS) if peers else [])
    for tool in tools:
        result.samples[tool] = []
    for _ in range(runs):
        for tool in tools:  # interleaved: each round runs every tool once
            if tool == "ours":
                result.samples[tool].append(ours.burn(source))
                result.image_blocks = ours.image_blocks()
            else:
                if os.path.exists(output):
                    os.remove(output)
                result.samples[tool].append(run_measured(PEERS[tool] + [output, source]))
    if os.path.exists(output):
        os.remove(output)
    trace = os.path.join(work, "trace.txt")
    if os.path.exists(trace):
        os.remove(trace)
    ours.burn(source, WNASPI32_TRACE=trace)
    result.commands_per_mib, result.layout_ms = trace_figures(read_trace(trace))
    os.remove(trace)
    result.latency_seconds = ours.burn(source, WNASPI32_VIRTUAL_LATENCY_US=str(LATENCY_US)).seconds
    shutil.rmtree(ours.disc, ignore_errors=True)
    return result


def main_table(results):
    lines = [
        "| tree | data | ours | genisoimage | xorriso | ours / genisoimage | ours / xorriso "
        "| peak RSS ours / genisoimage / xorriso | RSS ours / genisoimage | commands per MiB "
        f"| MB/s at {LATENCY_US} µs per command |",
        "|---|---|---|---|---|---|---|---|---|---|---|",
    ]
    for r in results:
        ours, geniso, xorr = (r.median(t) for t in ("ours", "genisoimage", "xorriso"))
        rss = [r.peak_mib(t) for t in ("ours", "genisoimage", "xorriso")]
        image_mb = r.image_blocks * 2048 / 1e6
        lines.append(
            f"| {r.tree.caption} | {r.source_bytes / 1e6:,.0f} MB | {ours:.2f} s | {geniso:.2f} s "
            f"| {xorr:.2f} s | {ours / geniso:.2f}× | {ours / xorr:.2f}× "
            f"| {rss[0]:.0f} / {rss[1]:.0f} / {rss[2]:.0f} MiB | {rss[0] / rss[1]:.2f}× "
            f"| {r.commands_per_mib:.0f} | {image_mb / r.latency_seconds:.0f} |")
    return "\n".join(lines)


def growth_table(results):
    lines = ["| files | layout | burn | burn per file |", "|---|---|---|---|"]
    for r in results:
        files = r.tree.file_count()
        burn = r.median("ours")
        lines.append(f"| {files:,} | {r.layout_ms:.0f} ms | {burn:.2f} s "
                     f"| {burn / files * 1e6:.0f} µs |")
    return "\n".join(lines)


def machine_note(runs):
    load = os.getloadavg()
    return (f"{runs} interleaved runs each, medians; {os.cpu_count()} cores, load average "
            f"{load[0]:.1f} / {load[1]:.1f} / {load[2]:.1f} (1 / 5 / 15 min) at the end; "
            "sources in the page cache (each tree is read once before it is timed).")


def parse_arguments():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="small trees and one run: for development, not for figures")
    parser.add_argument("--runs", type=int, default=None, help="runs per tool and tree (3)")
    parser.add_argument("--trees", default=None,
                        help="comma-separated tree names (" + ", ".join(trees.TREES) + ")")
    parser.add_argument("--no-growth", action="store_true", help="leave out the growth table")
    parser.add_argument("--work", default=os.path.join(here, "..", "build", "bench"),
                        help="folder for the trees and discs (about 3 GB; default build/bench)")
    parser.add_argument("--quillon", default=os.path.join(here, "..", "build", "bin", "quillon"))
    return parser.parse_args()


def main():
    args = parse_arguments()
    runs = args.runs or (1 if args.quick else 3)
    names = args.trees.split(",") if args.trees else (QUICK_TREES if args.quick else MAIN_TREES)
    growth = () if args.no_growth else (QUICK_GROWTH if args.quick else GROWTH_TREES)
    for tool in ("genisoimage", "xorriso", TIME):
        if not shutil.which(tool):
            sys.exit(f"bench: {tool} is not installed (scripts/setup.sh installs it)")
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    ours = Ours(os.path.abspath(args.quillon), work)

    measured = {}
    for name in names:
        print(f"bench: {name}...", file=sys.stderr, flush=True)
        measured[name] = measure_tree(trees.TREES[name], work, ours, runs)
    for name in growth:
        if name not in measured:
            print(f"bench: {name} (growth)...", file=sys.stderr, flush=True)
            measured[name] = measure_tree(trees.TREES[name], work, ours, runs, peers=False)

    print(main_table([measured[n] for n in names]))
    if growth:
        print()
        print(growth_table([measured[n] for n in growth]))
    print()
    print(machine_note(runs))


if __name__ == "__main__":
    main()
