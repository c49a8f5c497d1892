#!/bin/sh
# Runs each fuzz target of build/fuzz (clang, libFuzzer, sanitizers) from a
# fixed seed for a fixed number of runs, so that what libFuzzer finds in
# seconds fails the build and a failure repeats; an input running a minute
# (a hang) fails it too. The regex target mostly computes, the textfile one
# mostly waits on the disk: they run side by side, the json one after
# the textfile one. Each works on a copy of its seed corpus, which stays as committed.
set -e
cd "$(dirname "$0")/.."
runs() {
  work=build/fuzz/runs/$1
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp fuzz/corpus/"$1"/* "$work/corpus/"
  if build/fuzz/fuzz/"$1" -seed=1 -runs="$2" -timeout=60 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    echo "$1: $2 runs clean"
  else
    cat "$work/log"
    echo "$1: failed after fewer than $2 runs; the input is in $work"
    return 1
  fi
}
echo "== fuzz targets under libFuzzer"
runs regex 300000 &
regex_pid=$!
status=0
runs textfile 10000 || status=1
runs json 150000 || status=1
wait $regex_pid || status=1
exit $status
