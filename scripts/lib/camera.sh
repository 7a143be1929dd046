# has_camera: whether the desktop offers a camera. A camera may reach it without a /dev/video node
# (a PipeWire or portal camera), so the same device monitor the program asks is asked too.
has_camera() {
  compgen -G "/dev/video*" >/dev/null && return 0
  command -v gst-device-monitor-1.0 >/dev/null || return 1
  timeout 10 gst-device-monitor-1.0 Video/Source 2>/dev/null | grep -q 'class : Video/Source'
}
