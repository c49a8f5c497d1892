#!/bin/sh
# Builds every preset and runs every test: the native suite, the native
# suite again under AddressSanitizer and UBSan, each fuzz target under
# libFuzzer for a fixed number of runs, the Wine suite, and the program
# once more from a copy of the tree, to the same bytes.
# The Wine suite spends most of its time waiting on windows and processes,
# so it runs while the sanitizer build keeps the processors busy.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
. scripts/display.sh
jobs=$(nproc)

build() {
  echo "== $1: configure and build"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

build native
build windows

ensure_display
mkdir -p build
wine_log=build/wine-tests.log
echo "== Windows tests under Wine (in the background; output follows at the end)"
ctest --preset windows -j "$jobs" >"$wine_log" 2>&1 &
wine_pid=$!

build native-asan
# The same sources build the same program wherever they lie and whenever:
# a copy of the tree at another path builds it alone, byte for byte.
echo "== reproducible build: the program again, from a copy of the tree elsewhere"
copy=$(mktemp -d)
tar -cf - --exclude=./build --exclude=./.git . | tar -xf - -C "$copy"
(cd "$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows -j "$jobs" --target DivezavuDizuzuDud >/dev/null)
if ! cmp build/windows/DivezavuDizuzuDud.exe "$copy/build/windows/DivezavuDizuzuDud.exe"; then
  echo "FAILED: the program's bytes depend on where or when it was built"
  exit 1
fi
rm -rf "$copy"
echo "The program builds to the same bytes."
echo "== fuzz targets: configure and build with clang and libFuzzer"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DDZD_LIBFUZZER=ON -DDZD_SANITIZE=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
echo "== native tests"
ctest --preset native -j "$jobs"
echo "== native tests under AddressSanitizer and UBSan"
ctest --preset native-asan -j "$jobs"
scripts/fuzz-runs.sh

echo "== Windows tests under Wine"
wine_status=0
wait $wine_pid || wine_status=$?
cat "$wine_log"
exit $wine_status
