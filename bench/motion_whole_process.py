#!/usr/bin/python3
"""What the motion graph costs a whole vexa-viewer --headless --paint-offscreen --mute on the demo
stream (vexa-camera's 1280x720 25 fps H.264 over RTSP/TCP, model 12): the same stream with and
without --motion, runs alternating, CPU seconds (user + system of the viewer) and their ratio.

Figures are printed, never judged: the target stands beside them. A last, untimed run writes the
graph it drew, and the share of its columns holding a level above the bottom row is printed as a
check that the graph shows the camera's levels rather than the not-active text.
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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from record_whole_process import stop  # noqa: E402
from rtsp_whole_process import PAUSE_BETWEEN_RUNS_S, median_of, text  # noqa: E402

CPU_RATIO_TARGET = 1.02
CAMERA_START_TIMEOUT_S = 15.0
MODEL = "12"
GRAPH_WIDTH, GRAPH_HEIGHT = 399, 150
GRAPH_CHECK_SECONDS = 5
LEVEL_RGB = bytes((50, 50, 255))


def start_camera(args):
    """vexa-camera on ports of its choosing: (process, stream address, motion port)."""
    camera = subprocess.Popen([args.camera, "--port", "0", "--rtsp-port", "0", "--motion-port", "0",
                               "--width", "1280", "--height", "720", "--fps", str(args.fps)],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    # Read unbuffered: a buffered reader would hide lines already read from select.
    said = ""
    deadline = time.monotonic() + CAMERA_START_TIMEOUT_S
    while "motion on" not in said and time.monotonic() < deadline:
        ready, _, _ = select.select([camera.stdout], [], [], deadline - time.monotonic())
        chunk = os.read(camera.stdout.fileno(), 4096) if ready else b""
        if not chunk:
            break
        said += chunk.decode(errors="replace")
    rtsp = re.search(r"rtsp://(127\.0\.0\.1:\d+)", said)
    motion = re.search(r"motion on 127\.0\.0\.1:(\d+)", said)
    if not rtsp or not motion:
        stop(camera)
        raise SystemExit("vexa-camera did not tell its addresses")
    return camera, rtsp.group(1) + "/h264", motion.group(1)


def graph_columns_with_levels(path):
    """The share of the graph's columns holding a level pixel above the bottom row (where the
    zeros lie), read back through ffmpeg."""
    rgb = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24",
                          "-"], stdout=subprocess.PIPE, check=False).stdout
    if len(rgb) != GRAPH_WIDTH * GRAPH_HEIGHT * 3:
        return 0.0
    rows = range(GRAPH_HEIGHT - 1)
    columns = sum(any(rgb[(y * GRAPH_WIDTH + x) * 3:(y * GRAPH_WIDTH + x) * 3 + 3] == LEVEL_RGB
                      for y in rows) for x in range(GRAPH_WIDTH))
    return columns / GRAPH_WIDTH


def run_viewer(args, address, extra=(), seconds=None):
    """One run: CPU seconds and pictures taken."""
    command = [args.viewer, "--protocol", MODEL, "--headless", "--paint-offscreen", "--mute",
               "--report-pictures", "--duration", str(seconds or args.seconds), *extra]
    # The camera keeps running, so the children reaped here are the viewer alone.
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run([*command, address], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, timeout=args.seconds + 30)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        raise SystemExit("vexa-viewer failed (%d): %s" % (result.returncode, result.stderr.strip()))
    taken = re.search(r"(\d+) pictures taken", result.stdout)
    return {"cpu": (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime),
            "pictures": int(taken.group(1)) if taken else 0}


def measure(args, folder):
    camera, address, motion_port = start_camera(args)
    motion = ["--motion", "--motion-port", motion_port]
    runs = {"without": [], "with": []}
    try:
        for i in range(args.runs):
            # Each round swaps the order, so a drift in the machine's load falls on both.
            for kind in (("without", "with") if i % 2 == 0 else ("with", "without")):
                runs[kind].append(run_viewer(args, address, motion if kind == "with" else ()))
                time.sleep(PAUSE_BETWEEN_RUNS_S)
        graph = os.path.join(folder, "motion.png")
        run_viewer(args, address, [*motion, "--motion-snapshot", graph], GRAPH_CHECK_SECONDS)
        runs["levels"] = graph_columns_with_levels(graph)
    finally:
        stop(camera)
    return runs


def print_table(args, runs, loads):
    cpu = median_of(runs["without"], "cpu"), median_of(runs["with"], "cpu")
    ratio = cpu[1] / cpu[0] if cpu[0] and cpu[1] else None
    row = "  {:<52} {:>8} {:>8} {:>7}  {}"
    print()
    print("Motion graph whole process: vexa-viewer --headless --paint-offscreen --mute without / "
          "with --motion, %d s per run, median of %d runs each, alternating" % (args.seconds,
                                                                                 args.runs))
    print("  load average before / after: %s / %s (2 cores shared)" % loads)
    print()
    print(row.format("RTSP/TCP H.264 1280x720 %d fps (vexa-camera, model 12)" % args.fps,
                     "without", "with", "ratio", "target"))
    print(row.format("  CPU s (user+sys) over %d s" % args.seconds, text(cpu[0], "{:.2f}"),
                     text(cpu[1], "{:.2f}"), text(ratio, "{:.3f}"),
                     "ratio <= %.2f" % CPU_RATIO_TARGET))
    print(row.format("  pictures taken", text(median_of(runs["without"], "pictures"), "{:.0f}"),
                     text(median_of(runs["with"], "pictures"), "{:.0f}"), "",
                     "%d at full rate" % (args.fps * args.seconds)))
    print("    graph of a %d s run: %s of its columns hold a level above zero"
          % (GRAPH_CHECK_SECONDS, text(runs["levels"], "{:.0%}")))
    if args.verbose:
        for kind in ("without", "with"):
            for r in runs[kind]:
                print("    %s: %s" % (kind, {k: round(v, 2) if isinstance(v, float) else v
                                             for k, v in r.items()}))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--viewer", required=True, help="the vexa-viewer executable")
    parser.add_argument("--camera", required=True, help="the vexa-camera executable")
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--fps", type=int, default=25)
    parser.add_argument("--verbose", action="store_true", help="every run's figures too")
    args = parser.parse_args()
    for program in (args.viewer, args.camera):
        if not os.access(program, os.X_OK):
            print("Motion graph whole-process benchmark skipped: no %s" % program)
            return 0
    loads = [os.getloadavg()[0]]
    with tempfile.TemporaryDirectory(prefix="vexa-motionbench-") as folder:
        runs = measure(args, folder)
    loads.append(os.getloadavg()[0])
    print_table(args, runs, tuple("%.1f" % l for l in loads))
    return 0


if __name__ == "__main__":
    sys.exit(main())
