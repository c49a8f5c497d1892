#!/bin/sh
# Installs the Debian packages the project needs and lacks. As root it runs
# apt-get itself; otherwise it prints the one line to run and fails.
PACKAGES="cmake ninja-build g++ googletest libbenchmark-dev libpcre2-dev libre2-dev nlohmann-json3-dev \
g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool x11-utils imagemagick fonts-noto-cjk \
clang libclang-rt-14-dev file locales chromium python3 openssl wixl msitools faketime osslsigncode"

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)
  [ "$status" = "installed" ] || missing="$missing $p"
done
if [ -z "$missing" ]; then
  :
elif [ "$(id -u)" -eq 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing >/dev/null || exit 1
else
  echo "Missing packages. Run this, then try again:"
  echo "  sudo apt-get install -y$missing"
  exit 1
fi

# Wine takes its ANSI code page from the locale: the program and the tests
# run under a Chinese one (936), which must exist.
if ! locale -a 2>/dev/null | grep -qix "zh_CN.utf8"; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || exit 1
  else
    echo "Missing locale zh_CN.UTF-8. Run: sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8"
    exit 1
  fi
fi
exit 0
