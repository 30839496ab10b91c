#!/usr/bin/env bash
# vexa-viewer against GStreamer's RTSP server; the checks live in rtsp_interop.py.
# Debian's python3 is named outright: another python3 first on PATH may lack the gi bindings.
set -u
viewer=${1:?usage: rtsp_interop.sh VIEWER}
if [ ! -x /usr/bin/python3 ]; then
  echo "FAIL: /usr/bin/python3 is missing (scripts/install-deps.sh installs it)"
  echo "rtsp_interop: 0 passed, 1 failed"
  exit 1
fi
exec /usr/bin/python3 "$(dirname "$0")/rtsp_interop.py" "$viewer"
