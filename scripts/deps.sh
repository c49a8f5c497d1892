#!/bin/sh
# Installs the Debian packages the project needs and lacks. As root it runs
# apt-get itself; otherwise it prints the one line to run and fails.
PACKAGES="cmake ninja-build g++ googletest libbenchmark-dev libpcre2-dev nlohmann-json3-dev \
g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool x11-utils imagemagick fonts-noto-cjk \
clang libclang-rt-14-dev file"

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)
  [ "$status" = "installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing >/dev/null || exit 1
else
  echo "Missing packages. Run this, then try again:"
  echo "  sudo apt-get install -y$missing"
  exit 1
fi
