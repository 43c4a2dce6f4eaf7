"""The FIFO's benchmark: a 200 MB burn onto a virtual DVD+R whose drive
model records at DVD 16x (22,160 kB/s) from a 2 MiB buffer, with strict
checks on, while the source stalls for 300 ms every 20 MB (bench/stall_read.c,
preloaded: the process's read() of regular files pauses). Run with and
without the FIFO (QUILLON_FIFO_KIB=0); prints, for each, whether the burn
finished, the buffer underruns (the model's trace notes each time its
buffer ran dry; BUFE, which the virtual drive's page has on, makes it wait
rather than fail), the wall time against 200 MB at the drive's rate, and
the drive commands per MiB written. Run through bench/run.sh --stall."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import bench

SIZE = 200 * 1000 * 1000
RATE_KBPS = 22160


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.join(here, "..")
    work = os.path.join(root, "build", "bench-stall")
    os.makedirs(work, exist_ok=True)
    shim = os.path.join(work, "stall_read.so")
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", shim, os.path.join(here, "stall_read.c"), "-ldl"],
                   check=True)
    source = os.path.join(work, "source")
    payload = os.path.join(source, "payload.bin")
    if not os.path.exists(payload) or os.path.getsize(payload) != SIZE:
        os.makedirs(source, exist_ok=True)
        with open(payload, "wb") as f:
            block = bytes(range(256)) * 4096
            for offset in range(0, SIZE, len(block)):
                f.write(block[: min(len(block), SIZE - offset)])
    bench.read_through(source)
    ours = bench.Ours(os.path.abspath(os.path.join(root, "build", "bin", "quillon")), work)
    ideal = SIZE / (RATE_KBPS * 1000)
    print("| FIFO | burn | buffer underruns | time | 200 MB at 22,160 kB/s | time / ideal | commands per MiB |")
    print("|---|---|---|---|---|---|---|")
    for fifo_kib in ("16384", "0"):
        shutil.rmtree(ours.disc, ignore_errors=True)
        trace = os.path.join(work, "trace.txt")
        if os.path.exists(trace):
            os.remove(trace)
        env = dict(ours.env, QUILLON_FIFO_KIB=fifo_kib, WNASPI32_VIRTUAL_SPEED=str(RATE_KBPS),
                   WNASPI32_VIRTUAL_BUFFER_KIB="2048", WNASPI32_VIRTUAL_STRICT="1", WNASPI32_TRACE=trace,
                   LD_PRELOAD=shim, STALL_EVERY_MB="20", STALL_MS="300")
        start = time.perf_counter()
        burned = subprocess.run([ours.quillon, "burn", "--dvd", "--no-verify", "--label", "BENCH", source], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        seconds = time.perf_counter() - start
        with open(trace) as f:
            underruns = sum(1 for line in f if "# buffer underrun" in line)
        commands = bench.read_trace(trace)
        written = sum(length for _, cdb, length in commands if cdb[0] == 0x2A)
        per_mib = len(commands) / (written / bench.MIB) if written else float("nan")
        label = f"{int(fifo_kib) // 1024} MiB" if fifo_kib != "0" else "none"
        print(f"| {label} | {'finished' if burned else 'failed'} | {underruns} | {seconds:.2f} s | "
              f"{ideal:.2f} s | {seconds / ideal:.3f} | {per_mib:.1f} |")
    shutil.rmtree(ours.disc, ignore_errors=True)


if __name__ == "__main__":
    main()
