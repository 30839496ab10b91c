"""The two independent readers a recording must satisfy, FFmpeg's and GStreamer's, as their
command-line tools report."""
import json
import re
import subprocess
from dataclasses import dataclass

READER_TIMEOUT_S = 120
GST_DECODERS = {"mjpeg": "jpegdec", "h264": "h264parse ! avdec_h264"}
# One line per buffer the sink takes, printed by gst-launch -v for fakesink silent=false.
GST_BUFFER_LINE = "last-message = chain"


@dataclass
class Outcome:
    status: int
    out: str
    err: str = ""

    @property
    def text(self):
        return self.out + self.err


def _run(command):
    try:
        done = subprocess.run(command, capture_output=True, text=True, errors="replace",
                              timeout=READER_TIMEOUT_S)
    except subprocess.TimeoutExpired:
        return Outcome(-1, "", f"{command[0]} did not finish in {READER_TIMEOUT_S} s")
    return Outcome(done.returncode, done.stdout, done.stderr)


def ffprobe_video(path):
    """ffprobe's view of the first video stream, frames counted by decoding them; a dict, or
    a text telling why there is none."""
    outcome = _run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_streams",
                    "-count_frames", "-of", "json", path])
    try:
        streams = json.loads(outcome.out).get("streams", [])
    except ValueError:
        streams = []
    if outcome.status != 0 or not streams:
        return f"ffprobe: status {outcome.status}: {outcome.text.strip()[-300:]}"
    return streams[0]


def frame_md5s(path, input_format=None):
    """The MD5 of each picture FFmpeg decodes, in order, none made up or dropped for pacing;
    a list, or a text telling why there is none."""
    # Repetitions decode to no picture, which ffmpeg counts as errors: past 2/3 it would fail.
    command = ["ffmpeg", "-nostdin", "-v", "error", "-max_error_rate", "1"]
    if input_format:
        command += ["-f", input_format]
    command += ["-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "framemd5", "-"]
    outcome = _run(command)
    if outcome.status != 0:
        return f"ffmpeg: status {outcome.status}: {outcome.text.strip()[-300:]}"
    return [line.rsplit(",", 1)[1].strip() for line in outcome.out.splitlines()
            if line and not line.startswith("#") and line.count(",") >= 5]


def gst_discover(path):
    """(width, height) of the video stream gst-discoverer finds, or a text telling why none."""
    outcome = _run(["gst-discoverer-1.0", path])
    video = re.search(r"video #\d+:.*?Width: (\d+)\s+Height: (\d+)", outcome.text, re.S)
    if outcome.status != 0 or not video:
        return f"gst-discoverer: status {outcome.status}: {outcome.text.strip()[-300:]}"
    return int(video.group(1)), int(video.group(2))


def gst_decoded_count(path, codec):
    """How many pictures GStreamer's AVI demuxer and decoder deliver, or a text telling why the
    pipeline failed."""
    pipeline = (["filesrc", f"location={path}", "!", "avidemux", "!"] +
                GST_DECODERS[codec].split() + ["!", "fakesink", "silent=false"])
    outcome = _run(["gst-launch-1.0", "-v"] + pipeline)
    errors = [line for line in outcome.text.splitlines() if line.startswith("ERROR")]
    if outcome.status != 0 or errors:
        return f"gst-launch: status {outcome.status}: {'; '.join(errors)[:300]}"
    return outcome.text.count(GST_BUFFER_LINE)
