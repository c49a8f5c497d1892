#!/usr/bin/env python3
"""Injects realistic faults into the code one at a time and tells which ones
the test suite catches.

    tools/faults/inject.py [--list FILE] [--only REGEX] [--keep-going]

Each fault in the list (default: faults.txt beside this script) is one line:

    id | preset | path | old text | new text [| ctest -R regex]

`old text` must occur exactly once in the file; `<NL>` stands for a line break
and `\\|` for a bar. The fault is applied, the preset is built and its tests
are run (narrowed by the optional regex), and the file is restored whatever
happens. A fault that does not build is reported as such: it says nothing of
the tests. Exit status 1 when any fault escaped.
"""
import argparse
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def parse(path):
    faults = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = [f.strip().replace("\\|", "|").replace("<NL>", "\n")
                  for f in re.split(r"(?<!\\)\|", line)]
        if len(fields) not in (5, 6):
            sys.exit(f"{path}:{number}: expected 5 or 6 fields")
        faults.append(dict(id=fields[0], preset=fields[1], path=fields[2], old=fields[3],
                           new=fields[4], tests=fields[5] if len(fields) == 6 else ""))
    return faults


def run(cmd):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def targets_for(fault):
    """Only the programs of the tests the fault is run against: relinking every
    test program for each fault costs minutes in the cross build."""
    if not fault["tests"]:
        return []
    listed = subprocess.run(["ctest", "--preset", fault["preset"], "-N", "-R", fault["tests"]], cwd=ROOT,
                            capture_output=True, text=True).stdout
    known = subprocess.run(["ninja", "-C", str(ROOT / "build" / fault["preset"]), "-t", "targets", "all"],
                           capture_output=True, text=True).stdout
    targets = {line.split(":")[0] for line in known.splitlines()}
    chosen = [name for name in re.findall(r"Test +#\d+: (\S+)", listed) if name in targets]
    return ["--target"] + chosen if chosen else []


def try_fault(fault):
    target = ROOT / fault["path"]
    original = target.read_bytes()
    text = original.decode("utf-8")
    if text.count(fault["old"]) != 1:
        return "stale (old text not found exactly once)"
    try:
        target.write_bytes(text.replace(fault["old"], fault["new"]).encode("utf-8"))
        if run(["cmake", "--build", "--preset", fault["preset"]] + targets_for(fault)) != 0:
            return "does not build"
        cmd = ["ctest", "--preset", fault["preset"], "--stop-on-failure"]
        if fault["tests"]:
            cmd += ["-R", fault["tests"]]
        return "escaped" if run(cmd) == 0 else "caught"
    finally:
        target.write_bytes(original)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", type=pathlib.Path, default=pathlib.Path(__file__).with_name("faults.txt"))
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    results = {}
    for fault in parse(args.list):
        if args.only and not re.search(args.only, fault["id"]):
            continue
        verdict = try_fault(fault)
        results[fault["id"]] = verdict
        print(f"{fault['id']:<28} {fault['preset']:<8} {verdict}", flush=True)
    for preset in sorted({f["preset"] for f in parse(args.list)}):
        run(["cmake", "--build", "--preset", preset])  # leave the build matching the sources
    caught = sum(v == "caught" for v in results.values())
    print(f"caught {caught} of {len(results)}")
    return 0 if all(v == "caught" for v in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
