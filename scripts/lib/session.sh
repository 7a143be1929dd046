# Starts what the tests need around them: a private runtime folder, an X server on a free display,
# a D-Bus session bus, and the desktop's media servers (a PipeWire session with its session manager,
# and a PulseAudio daemon). Everything started here is stopped when the calling script exits.

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
    Xvfb ":$display" -screen 0 "${LUMO_TEST_SCREEN:-1920x1080x24}" -nolisten tcp >"$LUMO_TEST_RUNTIME/xvfb.log" 2>&1 &
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
  start_media_servers
}

# PipeWire and WirePlumber in the private runtime folder, and a PulseAudio daemon beside them on its
# own socket there (the desktop without PipeWire). The tests provide their own camera and microphone
# nodes; the programs they start find both servers through PIPEWIRE_RUNTIME_DIR and PULSE_SERVER
# whatever runtime folder they are given.
start_media_servers() {
  local media="$LUMO_TEST_RUNTIME/media"
  mkdir -p "$media" && chmod 700 "$media"
  if command -v pipewire >/dev/null && command -v wireplumber >/dev/null; then
    XDG_RUNTIME_DIR="$media" pipewire >"$media/pipewire.log" 2>&1 &
    LUMO_TEST_SESSION_PIDS="$LUMO_TEST_SESSION_PIDS $!"
    for _ in $(seq 1 50); do
      [ -S "$media/pipewire-0" ] && break
      sleep 0.1
    done
    XDG_RUNTIME_DIR="$media" wireplumber >"$media/wireplumber.log" 2>&1 &
    LUMO_TEST_SESSION_PIDS="$LUMO_TEST_SESSION_PIDS $!"
    export PIPEWIRE_RUNTIME_DIR="$media"
    # The session manager is ready when it has linked the driver nodes.
    for _ in $(seq 1 50); do
      pw-cli ls Node 2>/dev/null | grep -q 'Dummy-Driver' && break
      sleep 0.1
    done
    export LUMO_TEST_PIPEWIRE=1
  fi
  if command -v pulseaudio >/dev/null; then
    mkdir -p "$media/pulse"
    XDG_RUNTIME_DIR="$media" pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
      --load="module-native-protocol-unix socket=$media/pulse/native" \
      --load="module-null-sink sink_name=lumo_speakers" \
      >"$media/pulseaudio.log" 2>&1 &
    LUMO_TEST_SESSION_PIDS="$LUMO_TEST_SESSION_PIDS $!"
    export PULSE_SERVER="unix:$media/pulse/native"
    for _ in $(seq 1 50); do
      pactl info >/dev/null 2>&1 && break
      sleep 0.1
    done
    export LUMO_TEST_PULSEAUDIO=1
  fi
}

stop_test_session() {
  for pid in $LUMO_TEST_SESSION_PIDS; do
    kill "$pid" 2>/dev/null || true
  done
  rm -rf "$LUMO_TEST_RUNTIME"
}
