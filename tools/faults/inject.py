#!/usr/bin/env python3
"""Injects realistic faults into the code one at a time and tells which ones
the test suite catches.

    tools/faults/inject.py [--list FILE] [--only REGEX] [--preset NAME] [--jobs N]
                           [--limit PRESET=SECONDS]

Each fault in the list (default: faults.txt beside this script) is one line:

    id | preset | path | old text | new text [| ctest -R regex [| gtest filter]]

`old text` must occur exactly once in the file; `<NL>` stands for a line break
and `\\|` for a bar. An empty regex runs the preset's whole suite; the gtest
filter (GTEST_FILTER syntax) narrows the test programs to the cases that can
see the fault.

The caller's tree is never edited: each preset builds in a copy of the tracked
files of its own, build/faults/<preset>/src (its build folder inside, as the
preset names it), brought up to date and built whole once before the first
fault, so a fault costs one compile and the links of its tests. Presets run
side by side, two build jobs in all (--jobs). A fault is applied in the copy, its tests'
programs are built, the tests run until the first failure, and the file is
restored whatever happens. Verdicts, one line per fault as each one ends:

    caught             a test failed
    caught (timeout)   the tests ran past the preset's limit: a hang
    escaped            every test passed
    does not build     says nothing of the tests
    stale              the old text is not in the file exactly once

Wine tests get a display (Xvfb when DISPLAY names none) and a Wine prefix of
their own, build/faults/wineprefix, so that other Wine users of the machine
are never disturbed. Each fault's build and test output is kept in
build/faults/logs/<id>.log. Exit status 1 unless every fault was caught.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
WORK = ROOT / "build" / "faults"
LOGS = WORK / "logs"
LIMITS = {"native": 120, "windows": 300}  # seconds of tests per fault: a few times a clean run


def parse(path):
    faults = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = [f.strip().replace("\\|", "|").replace("<NL>", "\n")
                  for f in re.split(r"(?<!\\)\|", line)]
        if not 5 <= len(fields) <= 7:
            sys.exit(f"{path}:{number}: expected 5 to 7 fields")
        fields += [""] * (7 - len(fields))
        faults.append(dict(id=fields[0], preset=fields[1], path=fields[2], old=fields[3], new=fields[4],
                           tests=fields[5], gtest=fields[6]))
    return faults


class Lanes:
    """Hands out build jobs: each running preset gets its share of the total."""

    def __init__(self, count, total):
        self.count = count
        self.total = total
        self.lock = threading.Lock()

    def jobs(self):
        with self.lock:
            return max(1, self.total // max(1, self.count))

    def done(self):
        with self.lock:
            self.count -= 1


def run_logged(cmd, cwd, log, env=None, limit=None):
    """Runs cmd with its output appended to log; returns (exit code, timed out).
    A run past the limit is killed with its whole process group."""
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(cmd) + "\n").encode())
        out.flush()
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                env=env, start_new_session=True)
        try:
            return proc.wait(timeout=limit), False
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            out.write(f"\n*** killed after {limit} s\n".encode())
            return -1, True


def sync_copy(dest):
    """Brings the copy's tracked files to the caller's working-tree contents.
    Unchanged files keep their time stamps, so the build only redoes what
    differs; a changed one gets a new stamp, even if the caller's is older."""
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True).stdout
    tracked = {name for name in listed.decode("utf-8").split("\0") if name}
    for name in tracked:
        source, target = ROOT / name, dest / name
        if not source.is_file():
            continue
        data = source.read_bytes()
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        shutil.copymode(source, target)
    for folder, subfolders, files in os.walk(dest):
        if pathlib.Path(folder) == dest and "build" in subfolders:
            subfolders.remove("build")
        for name in files:
            path = pathlib.Path(folder) / name
            if path.relative_to(dest).as_posix() not in tracked:
                path.unlink()


class Preset:
    def __init__(self, name, env):
        self.name = name
        self.src = WORK / name / "src"
        self.env = env
        self.log = LOGS / f"_{name}.log"

    def prepare(self, jobs):
        """The copy, configured and built whole; False when that fails."""
        self.src.mkdir(parents=True, exist_ok=True)
        self.log.write_bytes(b"")
        sync_copy(self.src)
        steps = [["cmake", "--preset", self.name],
                 ["cmake", "--build", "--preset", self.name, "-j", str(jobs)]]
        if self.name == "windows":
            steps.append([str(self.src / "scripts" / "wine-warm.sh")])
        for cmd in steps:
            if run_logged(cmd, self.src, self.log, self.env)[0] != 0:
                return False
        self.binary = self.binary_dir()
        known = subprocess.run(["ninja", "-C", str(self.binary), "-t", "targets", "all"],
                               capture_output=True, text=True).stdout
        self.outputs = {str((self.binary / line.split(":")[0]).resolve()) for line in known.splitlines() if ":" in line}
        return True

    def binary_dir(self):
        presets = json.loads((self.src / "CMakePresets.json").read_text(encoding="utf-8"))
        found = {p["name"]: p for p in presets["configurePresets"]}
        preset = found[self.name]
        while "binaryDir" not in preset:
            preset = found[preset["inherits"]]
        return pathlib.Path(preset["binaryDir"].replace("${sourceDir}", str(self.src)))

    def programs_for(self, regex):
        """The build outputs the chosen tests run: relinking every program of
        the suite for each fault costs minutes in the cross build."""
        cmd = ["ctest", "--preset", self.name, "--show-only=json-v1"] + (["-R", regex] if regex else [])
        listed = subprocess.run(cmd, cwd=self.src, capture_output=True, text=True, env=self.env).stdout
        wanted = []
        for test in json.loads(listed or '{"tests": []}').get("tests", []):
            for arg in test.get("command", []):
                full = str(pathlib.Path(arg).resolve()) if os.path.isabs(arg) else ""
                if full in self.outputs and full not in wanted:
                    wanted.append(full)
        return wanted

    def try_fault(self, fault, jobs):
        target = self.src / fault["path"]
        log = LOGS / f"{fault['id']}.log"
        log.write_bytes(b"")
        if not target.is_file():
            return "stale (no such file)"
        original = target.read_bytes()
        text = original.decode("utf-8")
        if text.count(fault["old"]) != 1:
            return "stale (old text not found exactly once)"
        try:
            target.write_bytes(text.replace(fault["old"], fault["new"]).encode("utf-8"))
            programs = self.programs_for(fault["tests"])
            build = ["cmake", "--build", "--preset", self.name, "-j", str(jobs)]
            if programs:
                build += ["--target"] + [os.path.relpath(p, self.binary) for p in programs]
            if run_logged(build, self.src, log, self.env)[0] != 0:
                return "does not build"
            env = dict(self.env, GTEST_FAIL_FAST="1")
            if fault["gtest"]:
                env["GTEST_FILTER"] = fault["gtest"]
            cmd = ["ctest", "--preset", self.name, "--stop-on-failure"]
            if fault["tests"]:
                cmd += ["-R", fault["tests"]]
            code, timed_out = run_logged(cmd, self.src, log, env, LIMITS[self.name])
            if timed_out or b"***Timeout" in log.read_bytes():
                self.after_hang()
                return "caught (timeout)"
            return "escaped" if code == 0 else "caught"
        finally:
            target.write_bytes(original)

    def after_hang(self):
        # What a killed run left in the prefix goes with its server.
        if self.name == "windows":
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def start_display(env):
    """A display for the Wine tests: DISPLAY when it names a working X server,
    otherwise a virtual one, as scripts/display.sh makes it."""
    def works(display):
        return display and subprocess.run(["xdpyinfo"], env=dict(env, DISPLAY=display), stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL).returncode == 0
    if works(env.get("DISPLAY")):
        return None
    n = 90
    while os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
        n += 1
    xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env["DISPLAY"] = f":{n}"
    for _ in range(100):
        if works(env["DISPLAY"]):
            return xvfb
        time.sleep(0.1)
    xvfb.kill()
    sys.exit("Xvfb did not start")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", type=pathlib.Path, default=pathlib.Path(__file__).with_name("faults.txt"))
    parser.add_argument("--only", default="", help="only the faults whose id matches")
    parser.add_argument("--preset", default="", help="only the faults of this preset")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs of all presets together (the machine is shared)")
    parser.add_argument("--limit", action="append", default=[], metavar="PRESET=SECONDS",
                        help="time the tests of one fault may take before it counts as a hang")
    args = parser.parse_args()
    for item in args.limit:
        name, _, seconds = item.partition("=")
        LIMITS[name] = float(seconds)
    faults = [f for f in parse(args.list) if (not args.only or re.search(args.only, f["id"])) and
              (not args.preset or f["preset"] == args.preset)]
    presets = sorted({f["preset"] for f in faults}, key=lambda p: p != "windows")  # the long one first
    LOGS.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=str(WORK / "wineprefix"), WINEDEBUG="-all")
    env.pop("GTEST_FILTER", None)
    xvfb = start_display(env) if "windows" in presets else None
    lanes = Lanes(len(presets), args.jobs)
    results = {}
    print_lock = threading.Lock()
    began = time.monotonic()

    def lane(name):
        preset = Preset(name, env)
        mine = [f for f in faults if f["preset"] == name]
        ready = preset.prepare(lanes.jobs())
        for fault in mine:
            start = time.monotonic()
            verdict = preset.try_fault(fault, lanes.jobs()) if ready else f"not run ({name} does not build, see {preset.log})"
            with print_lock:
                results[fault["id"]] = verdict
                print(f"{fault['id']:<28} {name:<8} {verdict:<20} {time.monotonic() - start:6.0f} s", flush=True)
        lanes.done()

    # Daemons, so that an interrupt ends the run at once; a copy left with a
    # fault in it is put right by the next run's sync.
    threads = [threading.Thread(target=lane, args=(name,), daemon=True) for name in presets]
    try:
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(1)
    finally:
        if "windows" in presets:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if xvfb:
            xvfb.kill()
    caught = sum(v.startswith("caught") for v in results.values())
    print(f"wall time {(time.monotonic() - began) / 60:.1f} min", file=sys.stderr)
    print(f"caught {caught} of {len(results)}")
    return 0 if caught == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
