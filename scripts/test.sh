#!/bin/sh
# Builds every preset and runs every test: the native suite, the native
# suite again under AddressSanitizer and UBSan, and the Wine suite.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
. scripts/display.sh
jobs=$(nproc)

for preset in native native-asan windows; do
  echo "== $preset: configure and build"
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$jobs"
done

echo "== native tests"
ctest --preset native -j "$jobs"
echo "== native tests under AddressSanitizer and UBSan"
ctest --preset native-asan -j "$jobs"

echo "== Windows tests under Wine"
ensure_display
ctest --preset windows -j "$jobs"
