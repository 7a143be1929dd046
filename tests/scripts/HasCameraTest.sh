#!/usr/bin/env bash
# The run command's camera check: a camera node of the PipeWire session counts as a camera.
set -u
source "$1/scripts/lib/camera.sh"
if [ -z "${LUMO_TEST_PIPEWIRE:-}" ]; then
  echo "no PipeWire session: the test command starts one"; exit 0
fi
# The camera tests of the display take turns with this one: its node would be one more camera for them.
if [ -n "${DISPLAY:-}" ]; then
  exec 9>"${TMPDIR:-/tmp}/lumo-gtk-tests-${DISPLAY//[:\/]/_}.lock"
  flock -w 300 9
fi
gst-launch-1.0 -q videotestsrc is-live=true ! video/x-raw,width=320,height=240 ! \
  pipewiresink mode=provide "stream-properties=props,media.class=Video/Source,node.description=LumoRunCheck" &
node=$!
trap 'kill $node 2>/dev/null; wait $node 2>/dev/null' EXIT
for _ in $(seq 1 50); do
  pw-cli ls Node 2>/dev/null | grep -q LumoRunCheck && break
  sleep 0.1
done
if ! has_camera; then
  echo "FAIL: the PipeWire camera was not found"; exit 1
fi
echo "1 passed, 0 failed"
