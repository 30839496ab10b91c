#!/usr/bin/env bash
# vexa-viewer as a user runs it, against vexa-camera on loopback.
set -uo pipefail
viewer=$1
camera=$2
source "$(dirname "$0")/camera_harness.sh"

# A picture, statistics lines and a snapshot.
start_camera
"$viewer" --protocol 2 --headless --stats --duration 3 --snapshot "$work/s.png" "127.0.0.1:$port" \
  > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "clean run exited $status: $(cat "$work/err.txt")"
grep -q 'Video size: 640 x 480' "$work/out.txt" || fail "no statistics line with the picture size"
grep -q "Url: \"http://127.0.0.1:$port/\" | Connection: TCP (HTTP_JPEG) | Network / Display:  " "$work/out.txt" \
  || fail "statistics line lacks the address and connection"
[ "$(head -c 8 "$work/s.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "snapshot is not a PNG"
stop_camera

# Wrong credentials: no picture, no crash, and the missing snapshot is reported.
start_camera --user admin --pass 1234
"$viewer" --protocol 2 --headless --duration 2 --user admin --pass wrong --snapshot "$work/w.png" \
  "127.0.0.1:$port" > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 1 ] || fail "wrong password run exited $status"
grep -q 'no picture was drawn' "$work/err.txt" || fail "missing snapshot not reported"
[ -e "$work/w.png" ] && fail "a snapshot was written without a picture"
stop_camera

# A stream that cannot play: one line naming the address and the cause, however often it is
# tried again, and status 1.
start_camera
closed_port=$port
stop_camera
for case in "127.0.0.1:$closed_port/h264|rtsp://127.0.0.1:$closed_port/h264: connection refused" \
            "nosuchhost.invalid/h264|rtsp://nosuchhost.invalid/h264: name does not resolve"; do
  address=${case%%|*}
  line=${case#*|}
  "$viewer" --protocol 12 --headless --duration 3 "$address" > /dev/null 2> "$work/err.txt"
  status=$?
  [ $status -eq 1 ] || fail "$address exited $status"
  [ "$(grep -c "^vexa-viewer: $line\$" "$work/err.txt")" -eq 1 ] || fail "$address: not one '$line': $(cat "$work/err.txt")"
done
start_camera
"$viewer" --protocol 12 --headless --duration 3 "127.0.0.1:$rtsp_port/nope" > /dev/null 2> "$work/err.txt"
status=$?
[ $status -eq 1 ] || fail "unknown path exited $status"
[ "$(grep -c "^vexa-viewer: rtsp://127.0.0.1:$rtsp_port/nope: \"RTSP/1.0 404 Not Found\" to DESCRIBE\$" "$work/err.txt")" -eq 1 ] \
  || fail "unknown path: $(cat "$work/err.txt")"
stop_camera

# The motion graph: the camera's levels under its threshold, written at the end.
start_camera --motion-port 0 --motion-threshold 50
motion_port=$(grep -o 'motion on 127\.0\.0\.1:[0-9]*' "$work/camera.txt" | cut -d: -f2)
"$viewer" --protocol 2 --headless --duration 3 --motion --motion-port "$motion_port" \
  --motion-snapshot "$work/motion.png" "127.0.0.1:$port" > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "motion run exited $status: $(cat "$work/err.txt")"
[ "$(head -c 8 "$work/motion.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] \
  || fail "motion graph is not a PNG"
# 399 x 150: the threshold 50 across row 75, a level line below it, white above.
ffmpeg -v error -i "$work/motion.png" -f rawvideo -pix_fmt rgb24 - 2> /dev/null | python3 -c '
import sys
rgb = sys.stdin.buffer.read()
at = lambda x, y: rgb[(y * 399 + x) * 3:(y * 399 + x) * 3 + 3]
level = sum(at(x, y) == bytes((50, 50, 255)) for x in range(399) for y in range(76, 150))
sys.exit(0 if at(200, 75) == bytes((255, 50, 50)) and at(200, 5) == bytes((255, 255, 255))
         and level > 300 else 1)' || fail "motion graph lacks its threshold or levels"
stop_camera

# A fisheye camera dewarped headless: the circle found as the camera drew it, and the snapshot is
# the window-sized view, not the 640 x 480 picture.
start_camera --fisheye
"$viewer" --protocol 12 --headless --duration 3 --sensor-mode 2592x1944 --fisheye PTZ \
  --fisheye-view 0,40,2 --fisheye-calibrate --snapshot "$work/fe.png" "127.0.0.1:$rtsp_port/h264" \
  > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "fisheye run exited $status: $(cat "$work/err.txt")"
grep -Eq 'fisheye circle: centre 3(19|20|21),2(38|39|40|41) diameter 4(78|79|80|81|82)' "$work/out.txt" \
  || fail "fisheye circle: $(grep fisheye "$work/out.txt")"
fe_width=$(ffprobe -v error -show_entries stream=width -of csv=p=0 "$work/fe.png")
[ "${fe_width:-0}" -gt 1200 ] || fail "fisheye snapshot is $fe_width wide, not the dewarped view"
stop_camera

# Overlays from a file on a 1280 x 1024 camera described as one with a 28 x 30 motion grid: the
# queries give back what was added.
start_camera --width 1280 --height 1024
cat > "$work/overlays.txt" <<'END'
# a privacy mask, then motion windows
mask door 20 4 8 6
motion hall 10 3 19 12
motion - 1 2 3 4
client-mask desk 40 30 20 15
client-colour 255 0 0 0.5
END
"$viewer" --protocol 12 --headless --duration 2 --model TQ312 --sensor OV2715 \
  --sensor-mode 1280x1024 --overlays "$work/overlays.txt" --print-overlays \
  "127.0.0.1:$rtsp_port/h264" > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "overlay run exited $status: $(cat "$work/err.txt")"
expected='vexa-viewer: overlay 0 "": 6 2 6 4
vexa-viewer: overlay 1 "hall": 10 3 19 12
vexa-viewer: overlay 2 "door": 20 4 27 9'
[ "$(grep 'overlay ' "$work/out.txt")" = "$expected" ] || fail "overlays read back: $(grep overlay "$work/out.txt")"
stop_camera

# Talk: a raw tone as the microphone (SDL's disk driver) reaches the camera's WAV file; without
# the microphone's file, one line and the picture plays on with nothing sent.
ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=8000:duration=5 -f s16le -ac 1 \
  "$work/tone440.raw"
start_camera --audio pcmu --talk-wav "$work/talk.wav"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN="$work/tone440.raw" SDL_DISKAUDIOFILE="$work/played.raw" \
  "$viewer" --protocol 10 --headless --talk --duration 4 "127.0.0.1:$rtsp_port/h264" \
  > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "talk run exited $status: $(cat "$work/err.txt")"
grep -Eq "^vexa-viewer: talk sent [1-9][0-9]* packets \(PCMU\) to 127\.0\.0\.1:[0-9]+\$" "$work/out.txt" \
  || fail "no talk summary: $(cat "$work/out.txt")"
stop_camera
grep -Eq '^talk: [1-9][0-9]* packets from 127\.0\.0\.1:[0-9]+, 0 gaps$' "$work/camera.txt" \
  || fail "the camera heard no talk: $(cat "$work/camera.txt")"
sent=$(grep -o 'talk sent [0-9]*' "$work/out.txt" | grep -o '[0-9]*$')
heard=$(grep -o '^talk: [0-9]*' "$work/camera.txt" | grep -o '[0-9]*$')
[ "$sent" = "$heard" ] || fail "the viewer sent $sent talk packets, the camera heard $heard"
python3 "$(dirname "$0")/talk_tone.py" "$work/tone440.raw" "$work/talk.wav" 25 \
  || fail "the camera's talk.wav does not carry the tone"
start_camera --audio pcmu --talk-wav "$work/silent.wav"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN="$work/missing.raw" SDL_DISKAUDIOFILE="$work/played.raw" \
  "$viewer" --protocol 10 --headless --talk --duration 4 "127.0.0.1:$rtsp_port/h264" \
  > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "talk without a microphone exited $status: $(cat "$work/err.txt")"
[ "$(grep -c "missing.raw" "$work/err.txt")" -eq 1 ] || fail "no microphone not told once: $(cat "$work/err.txt")"
stop_camera
grep -q '^talk:' "$work/camera.txt" && fail "talk reached the camera without a microphone"

# Bad arguments: one line and status 2.
for bad in "--protocol two" "--fisheye ptz" "--fisheye-view 0,95,2" "--overlay roi" "--protocol 4 --talk"; do
  # shellcheck disable=SC2086
  "$viewer" $bad 127.0.0.1 > /dev/null 2> "$work/err.txt"
  status=$?
  [ $status -eq 2 ] || fail "bad arguments '$bad' exited $status"
  [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "bad arguments '$bad' gave more than one line"
done

# A command to the camera's pan/tilt/zoom CGI: the answer printed, 0 for 2xx; 1 and a line for a
# refused value or no answer.
start_camera --motion-port 0
"$viewer" --command '/cgi-bin/com/ptz.cgi?query=position' "127.0.0.1:$port" > "$work/out.txt" 2> "$work/err.txt"
status=$?
[ $status -eq 0 ] || fail "position query exited $status: $(cat "$work/err.txt")"
grep -q '^zoomposition=0' "$work/out.txt" || fail "position query answer: $(cat "$work/out.txt")"
"$viewer" --command '/cgi-bin/com/ptz.cgi?continuouszoommove=500' "127.0.0.1:$port" > /dev/null 2> "$work/err.txt"
status=$?
[ $status -eq 1 ] || fail "a refused command exited $status"
grep -q "the camera answered 400" "$work/err.txt" || fail "refused command not told: $(cat "$work/err.txt")"
stop_camera
"$viewer" --command /x --timeout 300 "127.0.0.1:$closed_port" > /dev/null 2> "$work/err.txt"
status=$?
[ $status -eq 1 ] || fail "a command to a closed port exited $status"
grep -q "no answer to the command" "$work/err.txt" || fail "unanswered command not told: $(cat "$work/err.txt")"

# A recording into a folder that does not exist: told before connecting, status 2.
"$viewer" --protocol 2 --headless --duration 3 --record "$work/none/cam.avi" 127.0.0.1:1 \
  > /dev/null 2> "$work/err.txt"
status=$?
[ $status -eq 2 ] || fail "recording into a missing folder exited $status"
grep -q 'Record path not exist!' "$work/err.txt" || fail "missing record folder not told: $(cat "$work/err.txt")"
grep -q 'connection refused' "$work/err.txt" && fail "connected despite the missing record folder"

if [ $failures -eq 0 ]; then echo "viewer end to end: passed"; exit 0; fi
exit 1
