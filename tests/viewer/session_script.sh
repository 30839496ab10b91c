#!/usr/bin/env bash
# A page's session driven through vexa-viewer --script against vexa-camera: every answer as
# tests/data/session.txt has it, the snapshots and the recording readable by ffprobe, and no
# connection left to the camera once the streams were stopped.
set -uo pipefail
viewer=$1
camera=$2
session=$(dirname "$0")/../data/session.txt
source "$(dirname "$0")/camera_harness.sh"
# The longest wait of the session and then some, for an answer.
answer_timeout=30

start_camera

coproc VIEWER { exec "$viewer" --headless --script - 2> "$work/viewer-err.txt"; }
viewer_pid=$VIEWER_PID
line_number=0
while IFS=$'\t' read -r request expected; do
  line_number=$((line_number + 1))
  [[ -z "$request" || "$request" == \#* ]] && continue
  request=${request//@RTSP@/$rtsp_port}
  request=${request//@HTTP@/$port}
  request=${request//@WORK@/$work}
  echo "$request" >&"${VIEWER[1]}"
  if ! IFS= read -r -t "$answer_timeout" answer <&"${VIEWER[0]}"; then
    fail "line $line_number: no answer to $request"
    break
  fi
  [ "$answer" = "$expected" ] || fail "line $line_number: $request answered $answer, not $expected"
done < "$session"

# Every stream was stopped: nothing of the viewer's is still connected to the camera.
connections=$(ss -Htn state established "( dport = :$rtsp_port or dport = :$port )" | wc -l)
[ "$connections" -eq 0 ] || fail "$connections connections to the camera after the last Stop"
exec {VIEWER[1]}>&-
wait "$viewer_pid"
status=$?
[ $status -eq 0 ] || fail "viewer exited $status: $(cat "$work/viewer-err.txt")"

for shot in shot12 shot10 shot2; do
  size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/$shot.jpg" 2>&1)
  [ "$size" = "640,480" ] || fail "$shot.jpg does not decode to the camera's 640x480 picture: $size"
done
recording=$(ls "$work"/rec12*.avi 2>/dev/null | head -n 1)
if [ -z "$recording" ]; then
  fail "no recording was made"
else
  frames=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,nb_read_frames -of csv=p=0 "$recording" 2>/dev/null)
  [[ "$frames" =~ ^h264,[1-9][0-9]*$ ]] || fail "ffprobe reads $recording as '$frames'"
fi
grep -q 'Capture path not exist!' "$work/viewer-err.txt" || fail "the missing folder was not told"

[ $failures -eq 0 ] && echo "session script: all answers as expected"
exit $failures
