#!/usr/bin/python3
"""Recordings end to end: vexa-viewer records a stream from vexa-camera (or GStreamer's RTSP
server) on loopback, and each file it leaves is read back three ways: by this suite's own AVI
reader (headers, chunks, index, key flags, pacing), by FFmpeg (ffprobe, and framemd5 against
what the camera sent) and by GStreamer (discoverer, and a demux-and-decode pipeline).

  run.py --viewer VIEWER --camera CAMERA [--long] [--case NAME]... [--keep]

One line per case, "ok" or "FAIL" with its figures, then a summary; the status is 1 when any
case failed. --long plays each case longer and adds more camera rates.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import sys
import tempfile
import time
from dataclasses import dataclass, field, replace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import checks  # noqa: E402
from peers import Camera, GstServer, Viewer  # noqa: E402

MJPEG, RTSP_JPEG, UDP_H264, RTSP_H264 = 2, 4, 10, 12
PATHS = {MJPEG: "", RTSP_JPEG: "/jpeg", UDP_H264: "/h264", RTSP_H264: "/h264"}
CODECS = {MJPEG: "mjpeg", RTSP_JPEG: "mjpeg", UDP_H264: "h264", RTSP_H264: "h264"}
FIRST_PICTURE_TIMEOUT_S = 20.0
END_GRACE_S = 30.0  # past its run, for a viewer built with sanitizers on a busy machine
LONG_FACTOR = 6
KILL_AFTER_S = 8.0
# At 25 a second, the pictures of the 8 s before the kill less the 2 s that may have passed
# since the last header update, give or take the first picture's wait for its key frame.
KILLED_MIN_PICTURES = 137
KILLED_MIN_SECONDS = 5.5
# The camera's simple pictures come to about 12 kB a second at 640x480: the limit is met a few
# seconds into the run.
SIZE_LIMIT = 40_000
STATS_LINE = re.compile(r"Network / Display:\s+(\d+) / (\d+) fps")
FOLDER_NAME = re.compile(r"vexa-\d{8}-\d{6}-001\.avi")
RECORD_NAME, FIRST_FILE = "cam.avi", "cam001.avi"


@dataclass
class Case:
    name: str
    protocol: int
    fps: int  # the source's pictures a second
    rate: int  # the recording's chunks a second
    repeats: int = None  # chunks a picture, where the file's length is held to it
    seconds: float = 5.0  # the run, or after the first picture when it ends by a signal
    width: int = 640
    height: int = 480
    camera_options: tuple = ()
    end: str = "duration"  # or the signal that ends it, after the first picture
    compare: bool = False  # with the pictures the camera sent
    into_folder: bool = False  # --record names a folder, not a file
    size_limit: int = None  # RLIMIT_FSIZE of the viewer
    gstreamer: bool = False  # GStreamer's RTSP server instead of vexa-camera (320x240, 15/s)
    long_only: bool = False

    @property
    def codec(self):
        return CODECS[self.protocol]


CASES = [
    Case("mjpeg-15fps", MJPEG, 15, 30, repeats=2, compare=True),
    Case("h264-sigint", RTSP_H264, 25, 25, seconds=4.0, end="SIGINT", compare=True),
    Case("h264-aud-sei-sigterm", RTSP_H264, 25, 25, seconds=4.0, end="SIGTERM", compare=True,
         camera_options=("--h264-extras", "aud,sei")),
    Case("h264-sprop-only", RTSP_H264, 25, 25, compare=True, camera_options=("--sprop-only",)),
    Case("rtsp-jpeg-12fps-folder", RTSP_JPEG, 12, 25, into_folder=True),
    Case("udp-h264-20fps", UDP_H264, 20, 30),
    Case("h264-killed", RTSP_H264, 25, 25, seconds=KILL_AFTER_S, end="SIGKILL"),
    Case("h264-file-size-limit", RTSP_H264, 25, 25, seconds=8.0, size_limit=SIZE_LIMIT),
    Case("gstreamer-server-h264", RTSP_H264, 15, 30, width=320, height=240, gstreamer=True),
    # The recording's rate from the camera's; HTTP tells none and records at 30 whatever comes.
    Case("h264-10fps", RTSP_H264, 10, 30, compare=True, long_only=True),
    Case("h264-13fps", RTSP_H264, 13, 25, compare=True, long_only=True),
    Case("h264-24fps", RTSP_H264, 24, 25, compare=True, long_only=True),
]
MISSING_FOLDER = "missing-folder"


@dataclass
class Result:
    name: str
    problems: list = field(default_factory=list)
    figures: list = field(default_factory=list)


def start_source(args, case, dump):
    if case.gstreamer:
        return GstServer()
    return Camera(args.camera, case.fps, case.width, case.height,
                  case.seconds + FIRST_PICTURE_TIMEOUT_S + END_GRACE_S, dump, case.camera_options)


def play(args, case, source, record):
    """Runs the viewer to the case's end; the Viewer, its status and what went wrong."""
    signalled = case.end != "duration"
    run_s = case.seconds + (FIRST_PICTURE_TIMEOUT_S + END_GRACE_S if signalled else 0)
    viewer = Viewer(args.viewer, case.protocol, source.address(case.protocol, PATHS[case.protocol]),
                    record, run_s, case.size_limit)
    problems = []
    if signalled:
        if viewer.first_picture(FIRST_PICTURE_TIMEOUT_S):
            time.sleep(case.seconds)
            viewer.signal(getattr(signal, case.end))
        else:
            problems.append("no first picture")
            viewer.signal(signal.SIGTERM)
    status = viewer.wait(run_s + END_GRACE_S)
    if viewer.timed_out:
        problems.append("did not end in time and was killed")
    return viewer, status, problems


def expected_status(case):
    if case.end == "SIGKILL":
        return -signal.SIGKILL
    return 1 if case.size_limit else 0


def recorded_files(case, viewer, folder):
    """The files the viewer recorded, and what is wrong with what it said of them."""
    if case.end == "SIGKILL":  # it had no chance to tell
        return [os.path.join(folder, FIRST_FILE)], []
    named = viewer.recorded()
    if not named:
        return [], ["no \"recorded\" line"]
    first = os.path.basename(named[0])
    if not (FOLDER_NAME.fullmatch(first) if case.into_folder else first == FIRST_FILE):
        return named, [f"first file named {first}"]
    return named, []


def decodable_h264(camera, case, dump):
    """The access units the camera sent behind the parameter sets of its session description,
    which a stream may send nowhere else."""
    if not os.path.exists(dump):
        return dump  # the comparison tells
    decodable = dump + ".h264"
    with open(decodable, "wb") as out, open(dump, "rb") as sent:
        out.write(camera.parameter_sets(PATHS[case.protocol]) + sent.read())
    return decodable


def check_size_limit(viewer):
    """The refused write is told, and the stream plays on after it."""
    told = [(when, line) for when, line in viewer.err.lines
            if "Recording stopped: cannot write" in line and "File too large" in line
            and "(5)" in line]
    if not told:
        return ["no \"Recording stopped ... File too large (5)\" line"]
    playing = [line for when, line in viewer.out.lines if when > told[0][0]
               and (m := STATS_LINE.search(line)) and int(m.group(1)) > 0]
    return [] if playing else ["no pictures came after the recording stopped"]


def expectation(case):
    killed = case.end == "SIGKILL"
    return checks.Expect(case.codec, case.rate, case.width, case.height, finished=not killed,
                         indexed=not killed and not case.size_limit,
                         min_pictures=KILLED_MIN_PICTURES if killed else 0,
                         min_seconds=KILLED_MIN_SECONDS if killed else 0.0)


def run_case(args, case, work):
    result = Result(case.name)
    folder = os.path.join(work, case.name)
    os.makedirs(folder)
    dump = os.path.join(folder, "sent.dump") if case.compare else None
    record = folder if case.into_folder else os.path.join(folder, RECORD_NAME)
    try:
        source = start_source(args, case, dump)
    except (RuntimeError, OSError) as error:
        result.problems.append(str(error))
        return result
    try:
        viewer, status, result.problems = play(args, case, source, record)
        if dump and case.codec == "h264":
            dump = decodable_h264(source, case, dump)
    finally:
        source.stop()
    if status != expected_status(case):
        result.problems.append(f"exit status {status}, not {expected_status(case)}")
    result.problems += [f"sanitizer: {line}" for line in viewer.sanitizer_report()[:1]]
    if case.size_limit:
        result.problems += check_size_limit(viewer)
    files, problems = recorded_files(case, viewer, folder)
    result.problems += problems
    expect = expectation(case)
    pictures = 0
    for path in files:
        rec = checks.check_file(path, expect, case.repeats, dump)
        pictures += len(rec.pictures)
        result.problems += [f"{os.path.basename(path)}: {problem}" for problem in rec.problems]
        result.figures.append(f"{os.path.basename(path)} {len(rec.chunks)} chunks, "
                              f"{len(rec.pictures)} pictures" +
                              "".join(f", {key} {value}" for key, value in rec.figures.items()))
    taken = viewer.pictures_taken()
    if case.compare and case.codec == "mjpeg" and pictures != taken:
        result.problems.append(f"{pictures} pictures recorded, the viewer took {taken}")
    if result.problems:
        result.problems += [f"stderr: {line}" for _, line in viewer.err.lines[-3:]]
    return result


def run_missing_folder(args, work):
    """A recording into a folder that is not there is refused before any connection."""
    result = Result(MISSING_FOLDER)
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen()
        listener.setblocking(False)
        port = listener.getsockname()[1]
        viewer = Viewer(args.viewer, RTSP_H264, f"127.0.0.1:{port}/h264",
                        os.path.join(work, "not-there", RECORD_NAME), 5.0)
        status = viewer.wait(END_GRACE_S)
        try:
            listener.accept()[0].close()
            result.problems.append("it connected")
        except BlockingIOError:
            pass
    if status != 2:
        result.problems.append(f"exit status {status}, not 2")
    if "Record path not exist!" not in viewer.err.text():
        result.problems.append(f"stderr: {viewer.err.text()[-200:]!r}")
    return result


def report(result):
    verdict = "FAIL" if result.problems else "ok"
    print(f"{verdict:4} {result.name}: {'; '.join(result.figures) or '-'}", flush=True)
    for problem in result.problems:
        print(f"       {problem}", flush=True)


def selected_cases(args):
    cases = [case for case in CASES if args.long or not case.long_only]
    if args.long:
        cases = [case if case.end == "SIGKILL" else replace(case, seconds=case.seconds *
                                                            LONG_FACTOR) for case in cases]
    names = [case.name for case in cases] + [MISSING_FOLDER]
    unknown = set(args.case or []) - set(names)
    if unknown:
        raise SystemExit(f"no case named {', '.join(sorted(unknown))}; there are "
                         f"{', '.join(names)}")
    chosen = [case for case in cases if not args.case or case.name in args.case]
    return chosen, not args.case or MISSING_FOLDER in args.case


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--camera", required=True)
    parser.add_argument("--long", action="store_true", help="longer runs, more camera rates")
    parser.add_argument("--case", action="append", help="run only this case (repeatable)")
    parser.add_argument("--keep", action="store_true", help="keep the recordings and print where")
    args = parser.parse_args()
    cases, missing_folder = selected_cases(args)
    work = tempfile.mkdtemp(prefix="vexa-recording-")
    try:
        results = []
        for case in cases:
            results.append(run_case(args, case, work))
            report(results[-1])
        if missing_folder:
            results.append(run_missing_folder(args, work))
            report(results[-1])
    finally:
        if args.keep:
            print(f"recordings kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    failed = sum(bool(result.problems) for result in results)
    print(f"recordings: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
