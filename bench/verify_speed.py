#!/usr/bin/env python3
"""Burns a tree of incompressible files onto a virtual DVD+R with
`quillon burn --dvd`, which reads the session back once it is closed, and
prints how fast the drive was written and read back: MB per second from the
first to the last WRITE(10), and from the first to the last READ(10), in the
writer's trace. Three runs, the median of each.

Run it through bench/run.sh --verify, which builds quillon first."""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402

SIZE_MIB = 256
FILES = 16
RUNS = 3


def speed(commands, opcode):
    """MB/s (10^6 bytes) over the commands with this opcode, and their bytes."""
    chosen = [(t, length) for t, cdb, length in commands if cdb[0] == opcode]
    if len(chosen) < 2:
        return float("nan"), 0
    seconds = chosen[-1][0] - chosen[0][0]
    total = sum(length for _, length in chosen)
    return (total / 1e6 / seconds if seconds > 0 else float("inf")), total


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    work = tempfile.mkdtemp(prefix="quillon-verify-bench-")
    try:
        source = os.path.join(work, "source")
        os.makedirs(source)
        for i in range(FILES):
            with open(os.path.join(source, f"part{i:02}.bin"), "wb") as f:
                f.write(os.urandom(SIZE_MIB * bench.MIB // FILES))
        ours = bench.Ours(os.path.join(root, "build", "bin", "quillon"), work)
        trace = os.path.join(work, "trace.txt")
        writes, reads = [], []
        for _ in range(RUNS):
            shutil.rmtree(ours.disc, ignore_errors=True)
            if os.path.exists(trace):
                os.remove(trace)
            env = dict(ours.env, WNASPI32_TRACE=trace)
            done = subprocess.run([ours.quillon, "burn", "--dvd", "--label", "BENCH", source], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if done.returncode != 0 or "identical." not in done.stdout:
                sys.exit("the burn did not verify:\n" + done.stdout[-2000:])
            commands = bench.read_trace(trace)
            writes.append(speed(commands, 0x2A)[0])
            reads.append(speed(commands, 0x28)[0])
        write, read = statistics.median(writes), statistics.median(reads)
        print(f"| {SIZE_MIB} MiB on a virtual DVD+R | MB/s |")
        print("|---|---|")
        print(f"| burn: WRITE(10), 16 blocks each | {write:.0f} |")
        print(f"| verify: READ(10), 32 blocks each, compared | {read:.0f} |")
        print(f"| verify / burn | {read / write:.2f} |")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
