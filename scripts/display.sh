# Sourced by the other scripts: ensure_display makes DISPLAY name a working X
# server, starting a virtual one (Xvfb) when there is none, and stops that
# one again when the calling script exits.
DZD_XVFB_PID=""
ensure_display() {
  if [ -n "$DISPLAY" ] && xdpyinfo >/dev/null 2>&1; then
    DZD_VIRTUAL_DISPLAY=0
    return 0
  fi
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  DZD_XVFB_PID=$!
  export DISPLAY=":$n"
  i=0
  until xdpyinfo >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "Xvfb did not start" >&2; return 1; fi
    sleep 0.1
  done
  DZD_VIRTUAL_DISPLAY=1
  trap 'kill $DZD_XVFB_PID 2>/dev/null' EXIT
}
