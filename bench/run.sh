#!/usr/bin/env bash
# Runs the benchmarks and prints vexa's rates as ratios of the peer's, measured in the same run.
set -euo pipefail
build=${1:-build/bench}
out=${VEXA_BENCH_DIR:-out/bench}
mkdir -p "$out"

"$build/bench/bench_mjpeg_path" --benchmark_out="$out/mjpeg_path.json" --benchmark_out_format=json \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

python3 - "$out/mjpeg_path.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
rate = {}
for r in runs:
    if r.get("aggregate_name") != "median":
        continue
    name, width, height = r["run_name"].split("/")[:3]
    rate[(name, width, height)] = r["pictures_per_cpu_s"]
print("\nMJPEG path, pictures per CPU-second (median of 3):")
for (name, w, h), value in sorted(rate.items()):
    if name != "BM_VexaMjpegPath":
        continue
    peer = rate.get(("BM_FfmpegDecodeToBgr", w, h))
    ratio = value / peer if peer else float("nan")
    print(f"  {w}x{h}: vexa parse+decode+draw {value:7.1f}  ffmpeg decode+BGR {peer:7.1f}  ratio {ratio:.2f}"
          f"  (target >= 1.1)")
PY

# Fisheye: the dewarp beside v360 on the same picture and view, and the map rebuilds per mode.
# Five repetitions: on a shared machine single runs of either side vary by a factor of two.
"$build/bench/bench_fisheye" --benchmark_out="$out/fisheye.json" --benchmark_out_format=json \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true >/dev/null

python3 - "$out/fisheye.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
ms = {}
for r in runs:
    if r.get("aggregate_name") == "median":
        ms[r["run_name"]] = r["cpu_time"] * {"ms": 1, "us": 1e-3, "ns": 1e-6}[r["time_unit"]]
print("\nFisheye 1920x1080 -> 1280x720 PTZ, CPU ms (median of 5):")
for view in ("0/0", "45/60"):
    ours = ms.get(f"BM_VexaDewarp/{view}", float("nan"))
    near = ms.get(f"BM_V360Nearest/{view}", float("nan"))
    line = ms.get(f"BM_V360Bilinear/{view}", float("nan"))
    print(f"  pan/tilt {view}: vexa {ours:6.3f} (target <= 1.2)  v360 near {near:6.3f}"
          f"  ratio {near / ours:5.2f} (target >= 3)  v360 bilinear {line:6.3f}  ratio {line / ours:5.2f}")
print(f"  memcpy of the output (floor): {ms.get('BM_MemcpyOutput', float('nan')):6.3f}")
for size in ("1280/720", "1920/1080"):
    print(f"  dewarp 45/60 and paint into {size.replace('/', 'x')}: "
          f"{ms.get(f'BM_DewarpAndPaint/{size}', float('nan')):6.3f}")
names = {1: "PTZ (target <= 5)", 7: "4PTZ", 9: "PANORAMA", 5: "360", 11: "PANOPTZ"}
for mode, name in names.items():
    print(f"  map rebuild 1280x720 {name}: {ms.get(f'BM_MapRebuild/mode:{mode}', float('nan')):6.3f}")
PY

# Overlays: outlines and client masks on a new picture, against the same picture without them.
"$build/bench/bench_overlay" --benchmark_out="$out/overlay.json" --benchmark_out_format=json \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true >/dev/null

python3 - "$out/overlay.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
us = {r["run_name"]: r["cpu_time"] for r in runs if r.get("aggregate_name") == "median"}
plain, outlined = us["BM_PaintPicture/outlines:0"], us["BM_PaintPicture/outlines:1"]
print("\nOverlays on a new picture, CPU us (median of 5):")
print(f"  1920x1080 into 1280x720: {plain:7.1f}, with 16 outlines {outlined:7.1f}"
      f"  ratio {outlined / plain:.3f} (target <= 1.05)")
for w, h, target in ((1280, 720, ""), (1920, 1080, " (target <= 1.30)")):
    bare = us[f"BM_NewPictureMasks/w:{w}/h:{h}/masked:0"]
    masked = us[f"BM_NewPictureMasks/w:{w}/h:{h}/masked:1"]
    print(f"  client masks over a quarter at 50 %, {w}x{h}: {bare:7.1f} -> {masked:7.1f}"
          f"  ratio {masked / bare:.2f}{target}")
PY

# Scripting: one request line in and its answer out through the session over the real control,
# beside the member called directly and the floor, JSON parsing the request and writing the answer;
# repetitions interleaved, so that a load coming or going meets every side alike.
"$build/bench/bench_script_call" --benchmark_out="$out/script_call.json" \
  --benchmark_out_format=json --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  >/dev/null

python3 - "$out/script_call.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
us, label = {}, {}
for r in runs:
    if r.get("aggregate_name") == "median":
        name, index = r["run_name"].split("/")[:2]
        us[(name, index)] = r["cpu_time"] * {"ns": 1e-3, "us": 1, "ms": 1e3}[r["time_unit"]]
        label[index] = r.get("label", index)
print("\nScript round trip, CPU us (median of 10, interleaved):")
for index in sorted(label):
    trip = us.get(("BM_ScriptRoundTrip", index), float("nan"))
    direct = us.get(("BM_DirectCall", index), float("nan"))
    floor = us.get(("BM_JsonFloor", index), float("nan"))
    print(f"  {label[index]:10} round trip {trip:6.2f} (target < 50)  direct {direct:6.3f}"
          f"  JSON floor {floor:6.2f}  ratio {trip / floor:.2f} (target <= 2)")
PY

# The whole script host: 10,000 lines piped into a headless viewer, start-up included.
python3 - "$build/apps/viewer/vexa-viewer" <<'PY'
import subprocess, sys, time
calls = ['{"call":"GetAttrStr","args":["VIEWER_VERSION"]}', '{"call":"Sync"}',
         '{"call":"SetAttrInt","args":["EN_PT",1]}']
lines = "".join(calls[i % len(calls)] + "\n" for i in range(10000)).encode()
start = time.monotonic()
done = subprocess.run([sys.argv[1], "--headless", "--script", "-"], input=lines,
                      capture_output=True, env={"SDL_AUDIODRIVER": "dummy"})
seconds = time.monotonic() - start
answers = done.stdout.count(b"\n")
print(f"\nvexa-viewer --headless --script -: {answers} answers to 10000 lines in {seconds:.2f} s,"
      f" {answers / seconds:,.0f} calls per second (exit {done.returncode})")
PY

# Depacketisers (packets and MB per CPU-second) and audio decoding per 160 ms block beside FFmpeg's
# decoder on the same block, as Google Benchmark reports them.
for name in depacketizer audio_decode; do
  echo
  "$build/bench/bench_$name" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
done

# Talk: one 64 ms buffer into its RTP packet per codec beside FFmpeg's encoder on the same buffer.
# Repetitions interleaved, so that a load coming or going on the machine meets both sides alike.
"$build/bench/bench_talk_encode" --benchmark_out="$out/talk_encode.json" --benchmark_out_format=json \
  --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true >/dev/null

python3 - "$out/talk_encode.json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
ns, label = {}, {}
for r in runs:
    if r.get("aggregate_name") == "median":
        name, codec = r["run_name"].split("/")[:2]
        ns[(name, codec)] = r["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[r["time_unit"]]
        label[codec] = r.get("label", codec)
print("\nTalk encode, CPU ns per 512-sample buffer (median of 10):")
for codec in sorted(label, key=int):
    ours = ns.get(("BM_VexaTalkPacket", codec), float("nan"))
    peer = ns.get(("BM_FfmpegTalkEncode", codec), float("nan"))
    print(f"  {label[codec]:8} vexa packet {ours:8.0f}  ffmpeg encoder {peer:8.0f}"
          f"  ratio {ours / peer:.2f}  (target <= 1.5)")
PY

# Talk's delay from the microphone to the camera, ten live seconds a codec, beside the floor.
echo
"$build/bench/bench_talk_latency"

# Whole processes on an RTSP stream; it needs GStreamer's RTSP server and says why when it skips.
for transport in tcp udp; do
  bash "$(dirname "$0")/rtsp_whole_process.sh" "$build" --transport "$transport" ||
    echo "RTSP whole-process benchmark ($transport) failed"
done
# MPEG-4 through GStreamer's HTTP tunnel, as a 720p camera sends it.
bash "$(dirname "$0")/rtsp_whole_process.sh" "$build" --transport http --width 1280 --height 720 \
  --fps 25 --gop 25 --kbps 3000 || echo "RTSP whole-process benchmark (http) failed"

# Recording: the recorder writing a minute of 1080p H.264 and of 720p JPEG beside FFmpeg copying
# the same files into AVIs, then what --record costs a whole viewer. A skipped run leaves no file.
rm -f "$out/record_writer.json"
"$build/bench/bench_record_writer" --benchmark_out="$out/record_writer.json" \
  --benchmark_out_format=json --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

python3 - "$out/record_writer.json" <<'PY'
import json, sys
try:
    runs = json.load(open(sys.argv[1]))["benchmarks"]
except (OSError, ValueError, KeyError):
    sys.exit(0)  # the benchmark said why it did not run
rate = {}
for r in runs:
    if r.get("aggregate_name") == "median":
        name, clip = r["run_name"].split("/")[:2]
        rate[(name, clip)] = r["MB_per_cpu_s"]
print("\nRecording writer, MB of input per CPU-second (median of 3):")
for (name, clip), value in sorted(rate.items()):
    if name != "BM_VexaRecord":
        continue
    peer = rate.get(("BM_FfmpegCopyToAvi", clip))
    ratio = value / peer if peer else float("nan")
    print(f"  {clip}: vexa recorder {value:8.1f}  ffmpeg -c copy to AVI {peer or float('nan'):8.1f}"
          f"  ratio {ratio:.2f}  (target >= 1.0)")
PY

bash "$(dirname "$0")/record_whole_process.sh" "$build" || echo "Recording whole-process benchmark failed"

# The HTTP command channel beside curl on lighttpd, and its destruction during a hung look-up.
bash "$(dirname "$0")/command_channel.sh" "$build" || echo "Command-channel benchmark failed"
# The motion graph: a whole viewer on the demo stream with and without --motion.
/usr/bin/python3 "$(dirname "$0")/motion_whole_process.py" --viewer "$build/apps/viewer/vexa-viewer" \
  --camera "$build/apps/camera/vexa-camera" || echo "Motion graph whole-process benchmark failed"
