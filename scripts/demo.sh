#!/usr/bin/env bash
# Runs the viewer against the simulated camera's H.264 stream over RTSP (with its sound): in a
# window when a display is there, otherwise headless for about ten seconds with statistics lines,
# a snapshot and a recording.
set -euo pipefail

build=${1:-build/release}
camera="$build/apps/camera/vexa-camera"
viewer="$build/apps/viewer/vexa-viewer"
out_dir=${VEXA_DEMO_DIR:-out}
snapshot="$out_dir/demo-snapshot.png"
# The viewer numbers a recording's files: demo001.avi, demo002.avi, ...
recording="$out_dir/demo.avi"
mkdir -p "$out_dir"

port_file=$(mktemp)
"$camera" --port 0 --rtsp-port 0 --width 1280 --height 720 --fps 25 > "$port_file" &
camera_pid=$!
trap 'kill "$camera_pid" 2>/dev/null || true; rm -f "$port_file"' EXIT

# The camera prints where it serves once it listens.
for _ in $(seq 1 100); do
  grep -q 'rtsp://' "$port_file" && break
  sleep 0.1
done
address=$(grep -o 'rtsp://127\.0\.0\.1:[0-9]*' "$port_file" | head -n 1 | sed 's|rtsp://||')
if [ -z "$address" ]; then
  echo "demo: the simulated camera did not start" >&2
  exit 1
fi
echo "demo: simulated camera at rtsp://$address/h264"

mode=(--headless --duration 10)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  mode=()
  echo "demo: close the window to end; double-click shows the statistics window"
fi

rm -f "$out_dir"/demo[0-9][0-9][0-9].avi
"$viewer" --protocol 12 --stats --snapshot "$snapshot" --record "$recording" "${mode[@]}" "$address/h264"
echo "demo: snapshot saved to $(realpath "$snapshot")"
for file in "$out_dir"/demo[0-9][0-9][0-9].avi; do
  if [ -e "$file" ]; then echo "demo: recording saved to $(realpath "$file")"; fi
done
