#!/usr/bin/env bash
# Whole-process comparison on one RTSP stream (H.264 over TCP or UDP, MPEG-4 through the HTTP
# tunnel): CPU seconds, peak memory and time to the first picture of vexa-viewer --headless beside
# ffmpeg decoding to BGR on one thread; on TCP also the viewer shown in a window beside ffplay, on
# a private Xvfb (that pair alone is skipped, saying why, without Xvfb or ffplay).
#
# usage: bench/rtsp_whole_process.sh [BUILD_DIR] [extra options of rtsp_whole_process.py]
#
# The clients take turns on one server rather than sharing one pipeline at the same moment: with
# two cores, a second decoder beside the encoder would make each client's CPU time depend on how
# the scheduler interleaved them. The server's media is shared, but it stops once the last client
# has gone, so every client gets the same fresh stream, opening with a key unit. Runs alternate
# between the clients so drifting machine load falls on both.
#
# Prints why and exits 0 when something it needs is missing, so bench/run.sh can always call it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/bench}
shift || true
viewer="$build/apps/viewer/vexa-viewer"
python=/usr/bin/python3  # Debian's: the gi bindings live there

skip() {
  echo "RTSP whole-process benchmark skipped: $1"
  exit 0
}

[ -x "$viewer" ] || skip "no $viewer (build the vexa-viewer target)"
[ -x /usr/bin/time ] || skip "/usr/bin/time missing (apt-get install time)"
command -v ffmpeg >/dev/null || skip "ffmpeg missing (apt-get install ffmpeg)"
command -v timeout >/dev/null || skip "timeout missing (coreutils)"
[ -x "$python" ] || skip "$python missing"
"$python" - <<'PY' 2>/dev/null || skip "GStreamer RTSP server, x264enc, rtph264pay, qtdemux or rtpmp4vpay missing (apt-get install \
python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-rtsp gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
gstreamer1.0-plugins-ugly)"
import sys
import gi
gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import Gst, GstRtsp, GstRtspServer
Gst.init(None)
sys.exit(0 if all(Gst.ElementFactory.find(e) for e in ("videotestsrc", "x264enc", "rtph264pay", "qtdemux", "rtpmp4vpay")) else 1)
PY

exec "$python" "$here/rtsp_whole_process.py" --viewer "$viewer" "$@"
