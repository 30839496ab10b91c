#!/usr/bin/env bash
# Runs the viewer against the simulated camera's H.264 stream over RTSP (with its sound), steering
# the camera and graphing its motion levels: in a window when a display is there, otherwise
# headless for about ten seconds with statistics lines, a recording, the motion graph and a
# snapshot before and after the camera pans. Then a fisheye camera, dewarped into flat views.
set -euo pipefail

build=${1:-build/release}
camera="$build/apps/camera/vexa-camera"
viewer="$build/apps/viewer/vexa-viewer"
out_dir=${VEXA_DEMO_DIR:-out}
snapshot="$out_dir/demo-snapshot.png"
# The viewer numbers a recording's files: demo001.avi, demo002.avi, ...
recording="$out_dir/demo.avi"
before_pan="$out_dir/demo-before-pan.png"
motion_graph="$out_dir/demo-motion.png"
fisheye_views="$out_dir/demo-fisheye"
mkdir -p "$out_dir"

port_file=$(mktemp)
"$camera" --port 0 --rtsp-port 0 --motion-port 0 --width 1280 --height 720 --fps 25 \
  > "$port_file" &
camera_pid=$!
panner_pid=
fisheye_pid=
fisheye_file=$(mktemp)
trap 'kill "$camera_pid" $panner_pid $fisheye_pid 2>/dev/null || true; rm -f "$port_file" "$fisheye_file"' EXIT

# The camera prints where it serves once it listens.
for _ in $(seq 1 100); do
  grep -q 'rtsp://' "$port_file" && break
  sleep 0.1
done
address=$(grep -o 'rtsp://127\.0\.0\.1:[0-9]*' "$port_file" | head -n 1 | sed 's|rtsp://||')
http_port=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$port_file" | head -n 1 | sed 's|.*:||')
motion_port=$(grep -o 'motion on 127\.0\.0\.1:[0-9]*' "$port_file" | head -n 1 | sed 's|.*:||')
if [ -z "$address" ] || [ -z "$http_port" ] || [ -z "$motion_port" ]; then
  echo "demo: the simulated camera did not start" >&2
  exit 1
fi
echo "demo: simulated camera at rtsp://$address/h264"

steering=(--ptz --http-port "$http_port" --motion --motion-port "$motion_port")
ptz() {
  "$viewer" --command "/cgi-bin/com/ptz.cgi?continuouspantiltmove=$1" "127.0.0.1:$http_port" \
    > /dev/null
}

rm -f "$out_dir"/demo[0-9][0-9][0-9].avi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: close the window to end; double-click shows the statistics window; hold the left"
  echo "demo: button to pan and tilt, the wheel zooms, the right button opens the camera's menu"
  "$viewer" --protocol 12 --stats --snapshot "$snapshot" --record "$recording" \
    "${steering[@]}" "$address/h264"
else
  # The picture before the camera moves, then a run during which it pans right for two seconds.
  "$viewer" --protocol 12 --headless --mute --duration 2 --snapshot "$before_pan" "$address/h264" \
    > /dev/null
  (sleep 4 && ptz 50,0 && sleep 2 && ptz 0,0 && echo "demo: the camera panned right for 2 s") &
  panner_pid=$!
  "$viewer" --protocol 12 --stats --snapshot "$snapshot" --record "$recording" \
    --motion-snapshot "$motion_graph" --headless --duration 10 "${steering[@]}" "$address/h264"
  wait "$panner_pid"
  echo "demo: picture before the pan saved to $(realpath "$before_pan")"
  echo "demo: motion graph saved to $(realpath "$motion_graph")"
fi
echo "demo: snapshot saved to $(realpath "$snapshot")"
for file in "$out_dir"/demo[0-9][0-9][0-9].avi; do
  if [ -e "$file" ]; then echo "demo: recording saved to $(realpath "$file")"; fi
done

# A fisheye camera: a room seen from its ceiling. It prints the viewer options that place its
# lens circle.
"$camera" --fisheye --port 0 --rtsp-port 0 --motion-port 0 --width 1024 --height 768 \
  > "$fisheye_file" &
fisheye_pid=$!
for _ in $(seq 1 100); do
  grep -q 'viewer: ' "$fisheye_file" && break
  sleep 0.1
done
fisheye_address=$(grep -o 'rtsp://127\.0\.0\.1:[0-9]*' "$fisheye_file" | head -n 1 | sed 's|rtsp://||')
read -r -a lens < <(grep -o 'viewer: [^)]*' "$fisheye_file" | sed 's|viewer: ||')
echo "demo: fisheye camera at rtsp://$fisheye_address/h264 (${lens[*]})"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: m changes the view, click centres it, hold the left button to turn it, the wheel"
  echo "demo: or + and - zoom, c finds the lens circle; close the window to end"
  "$viewer" --protocol 12 --mute "${lens[@]}" --fisheye PTZ "$fisheye_address/h264"
else
  for mode in PTZ 360; do
    "$viewer" --protocol 12 --headless --mute --duration 3 "${lens[@]}" --fisheye "$mode" \
      --fisheye-view 0,60,2 --fisheye-calibrate --snapshot "$fisheye_views-$mode.png" \
      "$fisheye_address/h264" | grep 'fisheye circle' | sed 's|^vexa-viewer|demo|'
    echo "demo: fisheye $mode view saved to $(realpath "$fisheye_views-$mode.png")"
  done
fi
