# Sourced by the scripts that show kiplaunch on a private display: start_x_session WIDTHxHEIGHT starts
# Xvfb on a free display and openbox on it, exports DISPLAY, and appends both processes to the caller's
# pids array (which the caller ends on exit). Returns once openbox has announced itself.
start_x_session() {
  local n=$((800 + RANDOM % 150))
  while [[ -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
  export DISPLAY=:$n
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  Xvfb "$DISPLAY" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do  # bounded: some 10 s
    xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW && return 0
    sleep 0.1
  done
  echo "the window manager did not start on $DISPLAY" >&2
  return 1
}
