#!/usr/bin/python3
"""What recording costs a whole vexa-viewer --headless --mute: the same stream with and without
--record, runs alternating, CPU seconds (user + system of the viewer) and their ratio.

  RTSP  GStreamer's RTSP server, 1920x1080 30 fps H.264 interleaved on TCP (model 12)
  HTTP  vexa-camera, 1280x720 30 fps multipart JPEG (model 2)

Figures are printed, never judged: the target stands beside them. Each recording is opened
afterwards and its size and chunks are printed as a check that it holds the stream.
"""
import argparse
import os
import re
import resource
import select
import subprocess
import sys
import tempfile
import time
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rtsp_whole_process import MOUNT, PAUSE_BETWEEN_RUNS_S, SYSTEM_PYTHON, median_of, start_server, text  # noqa: E402,E501

CPU_RATIO_TARGET = 1.03
CAMERA_START_TIMEOUT_S = 15.0
MB = 1e6
RTSP_MODEL, HTTP_MODEL = "12", "2"
SERVER_ELEMENTS = ("videotestsrc", "x264enc", "rtph264pay")
# A chunk this small is a repeat of the picture before it: nothing (JPEG) or a lone delimiter.
REPEAT_CHUNK_BYTES = 8
AVI_CHUNK_HEADER = 8
AVI_LIST_HEADER = 12
AVI_INDEX_ENTRY = 16
AVI_TOTAL_FRAMES_AT = 48
AVI_SCALE_AT, AVI_RATE_AT = 128, 132  # of the video stream header


# ---- the recorded file ----

def le32(data, at):
    return int.from_bytes(data[at:at + 4], "little")


def avi_facts(path):
    """Size, chunks in movi, repeat chunks, idx1 entries, the header's frame total and the seconds
    they play for at the header's rate."""
    with open(path, "rb") as f:
        data = f.read()
    frames, scale, rate = (le32(data, at) for at in (AVI_TOTAL_FRAMES_AT, AVI_SCALE_AT,
                                                     AVI_RATE_AT))
    facts = {"bytes": len(data), "chunks": 0, "repeats": 0, "indexed": 0, "header_frames": frames,
             "seconds": frames * scale / rate if rate else 0.0}
    if data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        return facts
    at = AVI_LIST_HEADER
    while at + AVI_CHUNK_HEADER <= len(data):
        tag, size = data[at:at + 4], le32(data, at + 4)
        body = at + AVI_CHUNK_HEADER
        if tag == b"LIST" and data[body:body + 4] == b"movi":
            walk_movi(data, body + 4, min(body + size, len(data)), facts)
        elif tag == b"idx1":
            facts["indexed"] = size // AVI_INDEX_ENTRY
        at = body + size + (size & 1)
    return facts


def walk_movi(data, at, end, facts):
    while at + AVI_CHUNK_HEADER <= end:
        size = le32(data, at + 4)
        facts["chunks"] += 1
        if size <= REPEAT_CHUNK_BYTES:
            facts["repeats"] += 1
        at += AVI_CHUNK_HEADER + size + (size & 1)


# ---- the sources ----

def gstreamer_missing():
    """Why GStreamer's RTSP server cannot serve the H.264 stream here, or None."""
    probe = ("import sys, gi\n"
             "gi.require_version('Gst', '1.0'); gi.require_version('GstRtspServer', '1.0')\n"
             "from gi.repository import Gst, GstRtspServer\n"
             "Gst.init(None)\n"
             "sys.exit(0 if all(Gst.ElementFactory.find(e) for e in %r) else 1)\n" % (SERVER_ELEMENTS,))
    try:
        found = subprocess.run([SYSTEM_PYTHON, "-c", probe], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        found = False
    return None if found else ("GStreamer's RTSP server or %s missing (see rtsp_whole_process.sh)"
                               % ", ".join(SERVER_ELEMENTS))


def start_rtsp(args):
    """GStreamer's server: (process, address, model)."""
    server, port = start_server(SimpleNamespace(width=1920, height=1080, fps=args.fps, gop=args.fps,
                                                kbps=args.kbps, transport="tcp"))
    return server, "127.0.0.1:%d%s" % (port, MOUNT), RTSP_MODEL


def start_camera(args):
    """vexa-camera on a port of its choosing: (process, address, model)."""
    camera = subprocess.Popen([args.camera, "--port", "0", "--rtsp-port", "0", "--width", "1280",
                               "--height", "720", "--fps", str(args.fps)],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    # The first line it prints names the HTTP address.
    ready, _, _ = select.select([camera.stdout], [], [], CAMERA_START_TIMEOUT_S)
    line = camera.stdout.readline() if ready else ""
    match = re.search(r"http://(127\.0\.0\.1:\d+)", line)
    if not match:
        stop(camera)
        raise SystemExit("vexa-camera did not tell its address")
    return camera, match.group(1), HTTP_MODEL


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


SOURCES = {
    "rtsp": ("RTSP/TCP H.264 1920x1080 (GStreamer, model 12)", start_rtsp),
    "http": ("HTTP multipart JPEG 1280x720 (vexa-camera, model 2)", start_camera),
}


# ---- the viewer ----

def run_viewer(args, address, model, record_to=None):
    """One headless viewer run: CPU seconds, pictures taken and the files it recorded."""
    command = [args.viewer, "--protocol", model, "--headless", "--mute", "--report-pictures",
               "--duration", str(args.seconds)]
    if record_to:
        command += ["--record", record_to]
    # The sources keep running, so the children reaped here are the viewer alone.
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run([*command, address], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, timeout=args.seconds + 30)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        raise SystemExit("vexa-viewer failed (%d): %s" % (result.returncode, result.stderr.strip()))
    taken = re.search(r"(\d+) pictures taken", result.stdout)
    recorded = re.search(r"vexa-viewer: recorded (.*)", result.stdout)
    return {"cpu": (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime),
            "pictures": int(taken.group(1)) if taken else 0,
            "files": recorded.group(1).split() if recorded else []}


def measure_source(args, folder, key):
    """Alternating runs without and with recording, on one source that runs throughout."""
    process, address, model = SOURCES[key][1](args)
    runs = {"without": [], "with": []}
    try:
        for i in range(args.runs):
            # Each round swaps the order, so a drift in the machine's load falls on both.
            order = ("without", "with") if i % 2 == 0 else ("with", "without")
            for kind in order:
                target = os.path.join(folder, "%s-%d.avi" % (key, i)) if kind == "with" else None
                run = run_viewer(args, address, model, target)
                if kind == "with":
                    run.update(recording_facts(run["files"]))
                runs[kind].append(run)
                time.sleep(PAUSE_BETWEEN_RUNS_S)
    finally:
        stop(process)
    return runs


def recording_facts(files):
    """The recording's figures summed over its files, which are removed once read."""
    total = {"files": len(files), "bytes": 0, "chunks": 0, "repeats": 0, "indexed": 0,
             "header_frames": 0, "seconds": 0.0}
    for path in files:
        for name, value in avi_facts(path).items():
            total[name] += value
        os.remove(path)
    return total


# ---- the report ----

def print_table(args, results, skipped, loads):
    print()
    print("Recording whole process: vexa-viewer --headless --mute without / with --record, "
          "%d s per run, %d fps, median of %d runs each, alternating" % (args.seconds, args.fps,
                                                                         args.runs))
    print("  load average before / after: %s / %s (2 cores shared)" % loads)
    row = "  {:<52} {:>8} {:>8} {:>7}  {}"
    for key, runs in results.items():
        without, recorded = runs["without"], runs["with"]
        cpu = median_of(without, "cpu"), median_of(recorded, "cpu")
        ratio = cpu[1] / cpu[0] if cpu[0] and cpu[1] else None
        print()
        print(row.format(SOURCES[key][0], "without", "with", "ratio", "target"))
        print(row.format("  CPU s (user+sys) over %d s" % args.seconds, text(cpu[0], "{:.2f}"),
                         text(cpu[1], "{:.2f}"), text(ratio, "{:.3f}"),
                         "ratio <= %.2f" % CPU_RATIO_TARGET))
        print(row.format("  pictures taken", text(median_of(without, "pictures"), "{:.0f}"),
                         text(median_of(recorded, "pictures"), "{:.0f}"), "",
                         "%d at full rate" % (args.fps * args.seconds)))
        # A run records for less than its --duration: the stream has to start first.
        print("    recording (median): %s MB in %s file(s), %s chunks (%s repeats), %s index "
              "entries, %s frames in the header, playing %s s of a %d s run"
              % (text(median_of(recorded, "bytes") / MB, "{:.1f}"),
                 text(median_of(recorded, "files"), "{:.0f}"),
                 text(median_of(recorded, "chunks"), "{:.0f}"),
                 text(median_of(recorded, "repeats"), "{:.0f}"),
                 text(median_of(recorded, "indexed"), "{:.0f}"),
                 text(median_of(recorded, "header_frames"), "{:.0f}"),
                 text(median_of(recorded, "seconds"), "{:.1f}"), args.seconds))
        if args.verbose:
            for kind in ("without", "with"):
                for r in runs[kind]:
                    print("    %s: %s" % (kind, {k: round(v, 2) if isinstance(v, float) else v
                                                 for k, v in r.items()}))
    for key, why in skipped.items():
        print()
        print("  %s: skipped, %s" % (SOURCES[key][0], why))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--viewer", required=True, help="the vexa-viewer executable")
    parser.add_argument("--camera", required=True, help="the vexa-camera executable")
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--fps", type=int, default=30)
    parser.add_argument("--kbps", type=int, default=4000, help="of the RTSP stream")
    parser.add_argument("--source", choices=sorted(SOURCES), action="append",
                        help="only this source (repeatable); both by default")
    parser.add_argument("--verbose", action="store_true", help="every run's figures too")
    args = parser.parse_args()

    keys = args.source or list(SOURCES)
    skipped = {}
    if "rtsp" in keys and (why := gstreamer_missing()):
        skipped["rtsp"] = why
    results = {}
    loads = [os.getloadavg()[0]]
    with tempfile.TemporaryDirectory(prefix="vexa-recbench-") as folder:
        for key in keys:
            if key not in skipped:
                results[key] = measure_source(args, folder, key)
    loads.append(os.getloadavg()[0])
    print_table(args, results, skipped, tuple("%.1f" % l for l in loads))
    return 0


if __name__ == "__main__":
    sys.exit(main())
