# Starts what the tests need around them: a private runtime folder, an X server on a free display
# and a D-Bus session bus. Everything started here is stopped when the calling script exits.

start_test_session() {
  LUMO_TEST_RUNTIME=$(mktemp -d)
  chmod 700 "$LUMO_TEST_RUNTIME"
  export XDG_RUNTIME_DIR="$LUMO_TEST_RUNTIME"
  local pids=()

  if command -v Xvfb >/dev/null; then
    local display=99
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
      display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >"$LUMO_TEST_RUNTIME/xvfb.log" 2>&1 &
    pids+=($!)
    export DISPLAY=":$display"
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$display" ] && break
      sleep 0.1
    done
  fi

  if command -v dbus-daemon >/dev/null; then
    eval "$(dbus-launch --sh-syntax)"
    pids+=("$DBUS_SESSION_BUS_PID")
  fi

  LUMO_TEST_SESSION_PIDS="${pids[*]}"
  trap stop_test_session EXIT
}

stop_test_session() {
  for pid in $LUMO_TEST_SESSION_PIDS; do
    kill "$pid" 2>/dev/null || true
  done
  rm -rf "$LUMO_TEST_RUNTIME"
}
