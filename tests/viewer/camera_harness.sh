# Sourced by the viewer's whole-program tests: a work folder removed at exit, failures counted,
# and vexa-camera ($camera) on loopback ports of its own ($port for HTTP, $rtsp_port).
# No sound device: probing one can take seconds under the thread sanitizer on a busy machine, and a
# three-second run stopped before its stream answered has nothing to say.
export SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
camera_pid=
cleanup() {
  [ -n "$camera_pid" ] && kill "$camera_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

start_camera() {
  "$camera" --port 0 --rtsp-port 0 --width 640 --height 480 --fps 15 "$@" > "$work/camera.txt" 2>&1 &
  camera_pid=$!
  for _ in $(seq 1 100); do
    grep -q 'rtsp://' "$work/camera.txt" && break
    sleep 0.1
  done
  port=$(grep -o '127\.0\.0\.1:[0-9]*' "$work/camera.txt" | head -n 1 | cut -d: -f2)
  rtsp_port=$(grep -o 'rtsp://127\.0\.0\.1:[0-9]*' "$work/camera.txt" | cut -d: -f3)
  [ -n "$port" ] && [ -n "$rtsp_port" ] || { echo "camera did not start"; exit 1; }
}
stop_camera() { kill "$camera_pid"; wait "$camera_pid" 2>/dev/null; camera_pid=; }
