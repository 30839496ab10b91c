#!/usr/bin/env bash
# What recording costs a whole headless viewer: CPU seconds with and without --record on
# GStreamer's 1080p H.264 RTSP stream and on vexa-camera's 720p multipart JPEG, and their ratio.
#
# usage: bench/record_whole_process.sh [BUILD_DIR] [extra options of record_whole_process.py]
#
# Prints why and exits 0 when something it needs is missing, so bench/run.sh can always call it;
# without GStreamer's RTSP server only the JPEG stream is measured.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/bench}
shift || true
viewer="$build/apps/viewer/vexa-viewer"
camera="$build/apps/camera/vexa-camera"
python=/usr/bin/python3  # Debian's: the gi bindings live there

skip() {
  echo "Recording whole-process benchmark skipped: $1"
  exit 0
}

[ -x "$viewer" ] || skip "no $viewer (build the vexa-viewer target)"
[ -x "$camera" ] || skip "no $camera (build the vexa-camera target)"
[ -x "$python" ] || skip "$python missing"

exec "$python" "$here/record_whole_process.py" --viewer "$viewer" --camera "$camera" "$@"
