#!/usr/bin/python3
"""quillon --json against virtual writers on a private system bus: every line
of a burn, a failed burn, a cancelled burn, an erase and the facts commands
holds to docs/quillon-events.schema.json and ends with the right result; the
job holds logind's sleep lock, named after it, and lets it go at its end."""

import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import jsonschema

bin_dir, source_dir = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(source_dir, "tests", "support"))
from private_bus import PrivateBus  # noqa: E402

quillon = os.path.join(bin_dir, "quillon")
with open(os.path.join(source_dir, "docs", "quillon-events.schema.json")) as f:
    schema = json.load(f)
validator = jsonschema.Draft7Validator(schema)
STATUS = {0: "done", 1: "failed", 2: "usage", 130: "cancelled"}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(bus, name, args, env, lock=None, interrupt=None, exit_code=0):
    """Runs quillon --json ARGS; `lock` is the reason the job's lock must
    carry while it runs, by phase (None: any other), `interrupt` the phase
    whose progress triggers Ctrl-C."""
    process = subprocess.Popen([quillon, "--json", *args], env=dict(bus.env, **env),
                               stdout=subprocess.PIPE, text=True)
    events, locks = [], {}
    for line in process.stdout:
        event = json.loads(line)
        events.append(event)
        for error in validator.iter_errors(event):
            check(False, f"{name}: {line.strip()}: {error.message}")
        if lock and event["event"] == "phase":
            locks[event["phase"]] = bus.inhibitors()
        if interrupt and event.get("phase") == interrupt and event["event"] == "progress":
            process.send_signal(signal.SIGINT)
            interrupt = None
    status = process.wait()
    check(status == exit_code, f"{name}: exit {status}, not {exit_code}")
    result = events[-1] if events else {}
    check(result.get("event") == "result" and result.get("exit") == status and
          result.get("status") == STATUS[status], f"{name}: the last line is {result}")
    check([e for e in events if e["event"] == "result"] == [result], f"{name}: one result, last")
    if lock:
        check(locks != {}, f"{name}: no phase")
        for phase, seen in locks.items():
            check(seen == [("sleep:shutdown", "quillon", lock.get(phase, lock[None]), "block")],
                  f"{name}: locks in {phase}: {seen}")
        for _ in range(40):
            if not bus.inhibitors():
                break
            time.sleep(0.05)
        check(bus.inhibitors() == [], f"{name}: a lock is left: {bus.inhibitors()}")
    return events


with tempfile.TemporaryDirectory() as work, PrivateBus() as bus:
    base = {"XDG_DATA_HOME": f"{work}/data", "WNASPI32_REAL_DRIVES": "0",
            "WNASPI32_VIRTUAL_POLLS": "2", "LC_ALL": "C.UTF-8"}
    for variable in ("WNASPI32_VIRTUAL_FAULTS", "WNASPI32_TRACE", "WNASPI32_DEBUG"):
        bus.env.pop(variable, None)
    subprocess.run([quillon, "register"], env=dict(bus.env, **base), check=True,
                   stdout=subprocess.DEVNULL)
    src = os.path.join(work, "src")
    os.makedirs(src)
    for i in range(8):
        with open(os.path.join(src, f"file{i}.bin"), "wb") as f:
            f.write(os.urandom(524288))

    # An entry the burn cannot take, under a name that is not UTF-8.
    odd = os.path.join(work, "odd")
    os.makedirs(odd)
    os.mkfifo(os.path.join(os.fsencode(odd), b"pipe \xff"))

    def writer(name):
        return {"WNASPI32_VIRTUAL_WRITERS": f"cd-rw={work}/{name}"}

    cd, erase = {None: "Burning a CD"}, {None: "Erasing a disc"}
    cases = [
        # name, arguments, environment, the lock's reason by phase, interrupt in, exit
        # The read-back is slowed so that its phase is seen while it runs.
        ("burn", ["burn", src], dict(writer("ok"), WNASPI32_VIRTUAL_FAULTS="slow=28:20"), cd, None, 0),
        ("failed burn", ["burn", src], dict(writer("bad"), WNASPI32_VIRTUAL_FAULTS="fail=2A@1"), cd, None, 1),
        ("cancelled burn", ["burn", src], dict(writer("cut"), WNASPI32_VIRTUAL_FAULTS="slow=2A:40"),
         cd, "Writing", 130),
        ("erase", ["erase", "--writer", "0"], writer("ok"), erase, None, 0),
        ("format, then burn", ["burn", "--dvd", src],
         {"WNASPI32_VIRTUAL_WRITERS": f"dvd+rw={work}/plus", "WNASPI32_VIRTUAL_FAULTS": "slow=28:20"},
         {"Formatting": "Formatting a DVD+RW", None: "Burning a DVD"}, None, 0),
        ("mistake", ["burn", "--writer", "x", src], writer("ok"), None, None, 2),
        ("refused entry", ["burn", odd], writer("ok"), None, None, 2),
    ]
    streams = {}
    for name, args, env, lock, interrupt, exit_code in cases:
        streams[name] = run(bus, name, args, dict(base, **env), lock, interrupt, exit_code)

    check({"Preparing", "Writing", "Closing the session", "Verifying"} ==
          {e["phase"] for e in streams["burn"] if e["event"] == "phase"}, "burn: its phases")
    check(any(e["event"] == "message" and e["source"] == "engine" for e in streams["failed burn"]),
          "failed burn: no engine message")
    check(streams["failed burn"][-1]["reason"] != "", "failed burn: no reason")
    # The failure's facts: the first WRITE was refused, so nothing was written.
    failure = [e for e in streams["failed burn"] if e["event"] == "failure"]
    check(len(failure) == 1 and failure[0]["step"] == "write" and failure[0]["command"] == "WRITE(10)"
          and failure[0]["disc"] == "untouched" and failure[0]["sense_key"] == 3,
          f"failed burn: failure facts {failure}")
    check(not any(e["event"] == "failure" for name in ("burn", "cancelled burn") for e in streams[name]),
          "a burn that did not fail reports a failure")
    check([(e["path"], e["left_out"]) for e in streams["refused entry"] if e["event"] == "refused"] ==
          [(f"{odd}/pipe \ufffd", False)], f"refused entry: {streams['refused entry']}")
    check(any(e["event"] == "output" and e["text"].startswith("Burn cancelled")
              for e in streams["cancelled burn"]), "cancelled burn: no report of what was written")
    for name, stream in streams.items():
        for phase in {e["phase"] for e in stream if e["event"] == "progress"}:
            percents = [e["percent"] for e in stream if e.get("phase") == phase and "percent" in e]
            check(percents == sorted(set(percents)), f"{name}: {phase} runs backwards: {percents}")

    # The facts, and the same bytes whatever the locale.
    facts = {}
    for locale in ("C", "C.UTF-8"):
        env = dict(bus.env, **dict(base, **writer("ok"), LC_ALL=locale))
        facts[locale] = [subprocess.run([quillon, *command], env=env, capture_output=True,
                                        text=True).stdout
                         for command in (["writers", "--json"], ["--json", "info"])]
    check(facts["C"] == facts["C.UTF-8"], f"the facts differ by locale: {facts}")
    lines = [json.loads(line) for text in facts["C"] for line in text.splitlines()]
    for event in lines:
        check(validator.is_valid(event), f"facts: {event}")
    check([e["event"] for e in lines] == ["writer", "result", "writer", "disc", "result"],
          f"facts: {lines}")
    check(lines[3].get("type") == "CD-RW" and lines[3].get("blank") is True, f"disc: {lines[3]}")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
