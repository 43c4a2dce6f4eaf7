#!/usr/bin/env python3
"""One drive fault per job, for every opcode a clean run of the job sends
(fail@1, fail@2, notready@1, fail at its last occurrence), each on a fresh
copy of the disc, judged by reading the disc back with xorriso:

  FALSE SUCCESS  exit 0, but the disc lacks a file of a session or its bytes
                 (a burn), is not blank (an erase) or not formatted (a format);
  RUINED         a multi-session burn that closed the disc, or a failure after
                 which the disc is neither as it was nor usable by the next
                 clean job (a --multi burn keeping what reads back, a DVD burn,
                 an erase, a format); a DVD±R that a failed burn closed passes
                 when it reads back;
  HANG           the job did not end within JOB_SECONDS.

usage: fault_matrix.py BIN_DIR [--only NAME,NAME...] [--keep DIR]
Prints the cases that are not OK and the totals; exits 1 if there is one.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

JOB_SECONDS = 300
# Distinct names across the trees: a disc's files are looked up by name.
TREES = {
    "first": {"a.bin": 150_000, "docs/b.txt": 3_000, "docs/deep/c.bin": 70_000},
    "second": {"d.bin": 90_000, "docs/e.txt": 500},
    "third": {"f.bin": 40_000},
}


def contents(rel, size):
    seed = sum(rel.encode())
    return bytes((seed + i * 7 + i // 251) & 0xFF for i in range(size))


def files_of(*trees):
    return {rel: contents(rel, size) for tree in trees for rel, size in TREES[tree].items()}


class Quillon:
    def __init__(self, bin_dir, work):
        self.program = str(Path(bin_dir) / "quillon")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("WNASPI32_")}
        self.env.update(XDG_DATA_HOME=str(work / "data"), WNASPI32_REAL_DRIVES="0", WNASPI32_VIRTUAL_POLLS="2")
        subprocess.run([self.program, "register"], env=self.env, check=True, stdout=subprocess.DEVNULL)

    def run(self, medium, disc, args, **variables):
        env = dict(self.env, WNASPI32_VIRTUAL_WRITERS=f"{medium}={disc}", **variables)
        try:
            done = subprocess.run([self.program] + args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, errors="replace", timeout=JOB_SECONDS)
            return done.returncode, done.stdout + done.stderr
        except subprocess.TimeoutExpired:
            return None, "timed out"


def state_of(disc):
    path = disc / "disc.state"
    text = path.read_text() if path.exists() else ""
    tracks = [(int(s), int(a)) for s, a in re.findall(r"^track=\d+ session=(\d+) start=(\d+)", text, re.M)]
    return text, tracks, "finalized=yes" in text, "formatted=yes" in text


def read_back(disc, scratch):
    """The files of the last session as {path: bytes}; None when it does not read."""
    _, tracks, _, _ = state_of(disc)
    if not tracks:
        return None
    start = min(a for s, a in tracks if s == tracks[-1][0])
    out = scratch / "extract"
    shutil.rmtree(out, ignore_errors=True)
    # A session cut short by a failed write still reads: its later files come
    # back short or as zeros, which the comparison of bytes finds.
    subprocess.run(["xorriso", "-abort_on", "NEVER", "-indev", str(disc / "disc.img"), "-load", "sbsector",
                    str(start), "-osirrox", "on", "-extract", "/", str(out)], capture_output=True)
    if not out.exists() and start > 0:
        # xorriso takes an image file whose first session is damaged for
        # blank media and loads no later session from it; the session is then
        # read from a copy that starts where it does (with nothing readable
        # before it, it can refer to nothing there).
        image = scratch / "session.img"
        with open(disc / "disc.img", "rb") as whole, open(image, "wb") as part:
            whole.seek(start * 2048)
            shutil.copyfileobj(whole, part)
        subprocess.run(["xorriso", "-abort_on", "NEVER", "-displacement", str(-start), "-indev", str(image),
                        "-osirrox", "on", "-extract", "/", str(out)], capture_output=True)
        image.unlink()
    if not out.exists():
        return None
    files = {str(p.relative_to(out)): p.read_bytes() for p in out.rglob("*") if p.is_file()}
    shutil.rmtree(out, ignore_errors=True)
    return files


def holds(files, wanted):
    return files is not None and all(files.get(rel) == data for rel, data in wanted.items())


def scenarios(src):
    first, second, third = (str(src / t) for t in TREES)
    cd, dvd = [["burn", "--multi", third]], [["burn", "--dvd", third]]
    # name, medium, job, set-up jobs, trees already on the disc, trees the job adds, clean jobs after a failure
    return [
        ("cd-r", "cd-r", ["burn", "--multi", first], [], [], ["first"], cd),
        ("cd-rw", "cd-rw", ["burn", "--multi", first], [], [], ["first"], [["erase"]] + cd),
        ("cd-r append", "cd-r", ["burn", "--multi", second], [["burn", "--multi", first]], ["first"], ["second"], cd),
        ("dvd-r", "dvd-r", ["burn", "--dvd", first], [], [], ["first"], dvd),
        ("dvd+r", "dvd+r", ["burn", "--dvd", first], [], [], ["first"], dvd),
        ("dvd+rw", "dvd+rw", ["burn", "--dvd", first], [["format"]], [], ["first"], dvd),
        ("erase cd-rw", "cd-rw", ["erase"], [["burn", "--multi", first]], [], [], [["erase"]]),
        ("format dvd+rw", "dvd+rw", ["format"], [], [], [], [["format"]]),
    ]


def faults_of(trace):
    counts = {}
    for op in re.findall(r" 0:0:0 EXEC \[([0-9A-F]{2}) .*status=0[14]", trace.read_text()):
        counts[op] = counts.get(op, 0) + 1
    for op, count in sorted(counts.items()):
        yield from [f"fail={op}@1"] + ([f"fail={op}@2"] if count >= 2 else []) + [f"notready={op}@1"]
        if count > 2:
            yield f"fail={op}@{count}"


def judge(quillon, scratch, scenario, disc, code, before):
    _, medium, job, _, old, new, follow = scenario
    text, _, finalized, formatted = state_of(disc)
    multi = "--multi" in job
    if code is None:
        return "HANG"
    if code == 0:
        if job[0] == "erase":
            return "OK" if "track=" not in text else "FALSE SUCCESS: not blank"
        if job[0] == "format":
            return "OK" if formatted else "FALSE SUCCESS: not formatted"
        if not holds(read_back(disc, scratch), files_of(*old, *new)):
            return "FALSE SUCCESS: files missing or wrong"
        return "RUINED: closed though multi-session was asked" if multi and finalized else "OK"
    if text == before:
        return "OK"  # untouched
    write_once = medium in ("cd-r", "dvd-r", "dvd+r")
    files = read_back(disc, scratch)
    if write_once and not multi and finalized and files is not None:
        return "OK"  # a single-session DVD closed on what was written
    every = files_of(*TREES)
    kept = {rel: data for rel, data in (files or {}).items() if write_once and every.get(rel) == data}
    for clean in follow:
        code, out = quillon.run(medium, disc, clean)
        if code != 0:
            return f"RUINED: a clean '{clean[0]}' then exits {code}: {last_line(out)}"
    wanted = dict(kept, **files_of("third", *(old if write_once else [])))
    if follow[-1][0] == "burn" and not holds(read_back(disc, scratch), wanted):
        return "RUINED: the clean burn after it lost files"
    return "OK"


def last_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1][:100] if lines else ""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin_dir")
    parser.add_argument("--only", help="comma-separated scenario names")
    parser.add_argument("--keep", help="work in this folder and keep it")
    options = parser.parse_args()
    if not shutil.which("xorriso"):
        sys.exit("fault_matrix: xorriso reads the discs back; install it")
    work = Path(options.keep or tempfile.mkdtemp(prefix="fault-matrix-"))
    started = time.monotonic()
    for rel, data in files_of(*TREES).items():
        tree = next(t for t in TREES if rel in TREES[t])
        (work / "src" / tree / rel).parent.mkdir(parents=True, exist_ok=True)
        (work / "src" / tree / rel).write_bytes(data)
    quillon = Quillon(options.bin_dir, work)
    totals, bad = {"OK": 0, "FALSE SUCCESS": 0, "RUINED": 0, "HANG": 0}, []
    for scenario in scenarios(work / "src"):
        name, medium, job, setup = scenario[:4]
        if options.only and name not in options.only.split(","):
            continue
        base, disc, trace = work / "base", work / "disc", work / "trace"
        for path in (base, disc, trace):
            shutil.rmtree(path, ignore_errors=True) if path.is_dir() else path.unlink(missing_ok=True)
        base.mkdir(parents=True)
        for step in setup:
            if quillon.run(medium, base, step)[0] != 0:
                sys.exit(f"{name}: the set-up job {step} failed")
        shutil.copytree(base, disc)
        code, out = quillon.run(medium, disc, job, WNASPI32_TRACE=str(trace))
        if code != 0:
            sys.exit(f"{name}: the clean job failed: {out}")
        for fault in faults_of(trace):
            shutil.rmtree(disc)
            shutil.copytree(base, disc)
            before = state_of(disc)[0]
            code, out = quillon.run(medium, disc, job, WNASPI32_VIRTUAL_FAULTS=fault)
            verdict = judge(quillon, work, scenario, disc, code, before)
            totals[verdict.split(":")[0]] += 1
            if verdict != "OK":
                bad.append(f"{name:14} {fault:16} {code!s:4}  {verdict}\n{'':38}{last_line(out)}")
            print(f"{name:14} {fault:16} exit {code!s:4} {verdict}", file=sys.stderr, flush=True)
    print(f"{'scenario':14} {'fault':16} {'exit':4}  verdict / quillon's last line")
    print("\n".join(bad))
    cases = sum(totals.values())
    print(f"\n{cases} cases in {time.monotonic() - started:.0f} s: " +
          ", ".join(f"{count} {kind.lower()}" for kind, count in totals.items()))
    if not options.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if cases == totals["OK"] else 1


if __name__ == "__main__":
    sys.exit(main())
