#!/usr/bin/python3
"""Whole-process comparison of vexa-viewer --headless with ffmpeg on one RTSP stream: H.264 with RTP
interleaved over TCP (the default) or over UDP (--transport udp), or MPEG-4 from a file made by
ffmpeg through the server's HTTP tunnel (--transport http). Both decode with one thread.

Both clients read the same GStreamer server, one after the other (see rtsp_whole_process.sh for
why). Figures are printed, never judged: the targets stand beside them.

  CPU and memory  each client runs --seconds on the server directly, under /usr/bin/time.
  Shown window    on the TCP road, vexa-viewer in a window beside ffplay, both 1280x720 on a
                  private Xvfb with SDL's software renderer, so no GPU driver's threads count.
  First picture   each client runs again through a loopback tap that watches the interleaved
                  RTP on its way to the client, so the arrival of the first key access unit is
                  known on the same clock as the client's start and its first picture.
"""
import argparse
import os
import re
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "rtsp_bench_server.py")
SYSTEM_PYTHON = "/usr/bin/python3"
MOUNT = "/bench"
MIB = 1024.0
SERVER_READY_TIMEOUT_S = 15.0
FIRST_PICTURE_RUN_S = 4
FIRST_PICTURE_TIMEOUT_S = 15.0
PAUSE_BETWEEN_RUNS_S = 1.0
RTP_CLOCK_HZ = 90000

# Targets of the issue, printed beside the figures, per codec: the H.264 roads are the ones the
# picture path is tuned on; MPEG-4 keeps its older ratios.
TARGETS = {
    "h264": {"cpu_ratio": 0.85, "painted_cpu_ratio": 0.95, "peak_mib": 55.0},
    "mpeg4": {"cpu_ratio": 1.0, "memory_ratio": 2.0},
}


# ---- RTP watching (RFC 3550 header, RFC 6184 and RFC 3016 payloads, RFC 2326 section 10.12) ----

RTP_HEADER_SIZE = 12
INTERLEAVED_HEADER_SIZE = 4
NAL_TYPE_MASK = 0x1F
NAL_IDR = 5
NAL_STAP_A = 24
NAL_FU_A = 28


def nal_types(payload):
    """NAL unit types one H.264 RTP payload carries."""
    if not payload:
        return []
    kind = payload[0] & NAL_TYPE_MASK
    if kind == NAL_FU_A:
        return [payload[1] & NAL_TYPE_MASK] if len(payload) > 1 else []
    if kind == NAL_STAP_A:
        types, at = [], 1
        while at + 2 < len(payload):
            size = int.from_bytes(payload[at:at + 2], "big")
            if size == 0:
                break
            types.append(payload[at + 2] & NAL_TYPE_MASK)
            at += 2 + size
        return types
    return [kind]


def begins_nal(payload):
    """Whether a payload starts a NAL unit rather than continuing a fragmented one."""
    if not payload:
        return False
    if payload[0] & NAL_TYPE_MASK == NAL_FU_A:
        return len(payload) > 1 and bool(payload[1] & 0x80)
    return True


MPEG4_START = b"\x00\x00\x01"
MPEG4_VOP = b"\x00\x00\x01\xb6"
MPEG4_INTRA = 0  # vop_coding_type, the two bits after the VOP start code


def has_intra_vop(payload):
    at = payload.find(MPEG4_VOP)
    return 0 <= at and at + len(MPEG4_VOP) < len(payload) and \
        payload[at + len(MPEG4_VOP)] >> 6 == MPEG4_INTRA


# Per codec: whether a payload holds a key picture, and whether it opens a picture.
CODECS = {
    "h264": (lambda p: NAL_IDR in nal_types(p), begins_nal),
    "mpeg4": (has_intra_vop, lambda p: p.startswith(MPEG4_START)),
}


def parse_rtp(packet):
    """(marker, payload type, timestamp, payload) or None."""
    if len(packet) < RTP_HEADER_SIZE or packet[0] >> 6 != 2:
        return None
    at = RTP_HEADER_SIZE + 4 * (packet[0] & 0x0F)
    if packet[0] & 0x10:
        if len(packet) < at + 4:
            return None
        at += 4 + 4 * int.from_bytes(packet[at + 2:at + 4], "big")
    if len(packet) < at:
        return None
    return bool(packet[1] & 0x80), packet[1] & 0x7F, int.from_bytes(packet[4:8], "big"), packet[at:]


class StreamWatch:
    """What arrived for one client, in time.monotonic() seconds."""

    def __init__(self, codec):
        self.is_key, self.begins_unit = CODECS[codec]
        self.lock = threading.Lock()
        self.connections = 0
        self.first_rtp = None
        self.units_before_key = 0  # complete access units before the first key one
        # Whole key units: (arrival of the marker packet, RTP timestamp, units since the previous)
        self.key_units = []
        self._unit_has_idr = False
        self._unit_whole = None  # None until the unit's first packet was seen
        self._units_since_key = 0

    def rtp(self, when, packet):
        parsed = parse_rtp(packet)
        if parsed is None:
            return
        marker, _, timestamp, payload = parsed
        with self.lock:
            if self.first_rtp is None:
                self.first_rtp = when
            if self._unit_whole is None:
                # A client joining a running stream may come in halfway through a unit.
                self._unit_whole = self.begins_unit(payload)
            if self.is_key(payload):
                self._unit_has_idr = True
            if not marker:
                return
            self._units_since_key += 1
            if self._unit_has_idr and self._unit_whole:
                self.key_units.append((when, timestamp, self._units_since_key))
                self._units_since_key = 0
            elif not self.key_units:
                self.units_before_key += 1
            self._unit_has_idr = False
            self._unit_whole = None


class InterleavedParser:
    """Splits the server-to-client byte stream into RTSP messages and interleaved frames."""

    def __init__(self, watch):
        self.watch = watch
        self.buffer = bytearray()

    def feed(self, when, data):
        self.buffer += data
        while self._step(when):
            pass

    def _step(self, when):
        buf = self.buffer
        if not buf:
            return False
        if buf[0] == 0x24:  # '$'
            if len(buf) < INTERLEAVED_HEADER_SIZE:
                return False
            channel, length = buf[1], int.from_bytes(buf[2:4], "big")
            end = INTERLEAVED_HEADER_SIZE + length
            if len(buf) < end:
                return False
            if channel % 2 == 0:
                self.watch.rtp(when, bytes(buf[INTERLEAVED_HEADER_SIZE:end]))
            del buf[:end]
            return True
        head_end = buf.find(b"\r\n\r\n")
        if head_end < 0:
            return False
        match = re.search(rb"(?im)^content-length:\s*(\d+)", bytes(buf[:head_end]))
        end = head_end + 4 + (int(match.group(1)) if match else 0)
        if len(buf) < end:
            return False
        del buf[:end]
        return True


class Tap:
    """Loopback TCP relay to the server that shows each client's stream to a StreamWatch. A
    tunnel's GET answer is an HTTP header and then the interleaved stream, so it parses alike."""

    def __init__(self, server_port, codec):
        self.server_port = server_port
        self.codec = codec
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.watch = StreamWatch(codec)
        threading.Thread(target=self._accept, daemon=True).start()

    def new_watch(self):
        self.watch = StreamWatch(self.codec)
        return self.watch

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            watch = self.watch
            with watch.lock:
                watch.connections += 1
            threading.Thread(target=self._relay, args=(client, watch), daemon=True).start()

    def _relay(self, client, watch):
        server = socket.create_connection(("127.0.0.1", self.server_port))
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        parser = InterleavedParser(watch)
        try:
            while True:
                readable, _, _ = select.select([client, server], [], [])
                for source in readable:
                    data = source.recv(65536)
                    if not data:
                        return
                    if source is server:
                        client.sendall(data)
                        parser.feed(time.monotonic(), data)
                    else:
                        server.sendall(data)
        except OSError:
            pass
        finally:
            client.close()
            server.close()


# ---- the clients ----

# The viewer's stream model for each transport: H.264 interleaved, H.264 over UDP, MPEG-4 through
# the HTTP tunnel.
VIEWER_MODEL = {"tcp": "12", "udp": "10", "http": "9"}
CODEC = {"tcp": "h264", "udp": "h264", "http": "mpeg4"}
# The file is longer than a run, so that no client reaches its end.
FILE_SECONDS_BEYOND_RUN = 15


def viewer_command(viewer, port, seconds, extra=(), transport="tcp", headless=True):
    return [viewer, "--protocol", VIEWER_MODEL[transport], *(["--headless"] if headless else []),
            "--duration", str(seconds), *extra,
            "127.0.0.1:%d%s" % (port, MOUNT)]


def stream_url(port):
    return "rtsp://127.0.0.1:%d%s" % (port, MOUNT)


# The viewer decodes each stream on one thread; before -i, so that it reaches the decoder.
ONE_DECODER_THREAD = ["-threads", "1"]


def ffmpeg_input(port, transport="tcp"):
    return ["ffmpeg", "-hide_banner", "-loglevel", "error", *ONE_DECODER_THREAD,
            "-rtsp_transport", transport, "-i", stream_url(port)]


def timed(command, seconds, env=None):
    """Runs command under /usr/bin/time: (user + sys CPU s, peak RSS KiB, stdout text)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        result = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%U %S %M", *command],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, timeout=seconds + 30, env=env)
        fields = report.read().split()[-3:]
    user, system, peak_kib = float(fields[0]), float(fields[1]), int(fields[2])
    return user + system, peak_kib, result.stdout


def run_viewer_whole(viewer, port, seconds, transport, extra=(), display=None):
    """The viewer headless, or shown in a window on display."""
    command = viewer_command(viewer, port, seconds, ["--report-pictures", *extra], transport,
                             headless=display is None)
    cpu, peak, out = timed(command, seconds, display.environment() if display else None)
    counts = re.search(r"(\d+) pictures taken, (\d+) painted", out)
    taken, painted = (int(counts.group(1)), int(counts.group(2))) if counts else (0, 0)
    return {"cpu": cpu, "peak": peak, "pictures": taken, "painted": painted}


def run_ffmpeg_whole(port, seconds, transport):
    with tempfile.NamedTemporaryFile("r", suffix=".progress") as progress:
        command = ["timeout", "-s", "INT", str(seconds), *ffmpeg_input(port, transport),
                   "-pix_fmt", "bgr24",
                   "-progress", progress.name, "-f", "null", "-"]
        cpu, peak, _ = timed(command, seconds)
        frames = re.findall(r"^frame=(\d+)", progress.read(), re.M)
    return {"cpu": cpu, "peak": peak, "pictures": int(frames[-1]) if frames else 0}


# ---- the shown window ----

XVFB = "/usr/bin/Xvfb"
XVFB_SCREEN = "1920x1080x24"
XVFB_READY_TIMEOUT_S = 15.0
# The viewer's window is 1280x720 and has no option for its size; ffplay is told the same.
WINDOW_SIZE = (1280, 720)


def window_skip_reason(args):
    """Why the shown-window pair does not run, or None."""
    if args.transport != "tcp":
        return "run on the TCP road only"
    if args.no_window:
        return "left out (--no-window)"
    if not os.access(XVFB, os.X_OK):
        return "skipped, %s missing (apt-get install xvfb)" % XVFB
    if shutil.which("ffplay") is None:
        return "skipped, ffplay missing (apt-get install ffmpeg)"
    return None


class VirtualDisplay:
    """A private Xvfb on the first free display number, ended by its own PID."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            [XVFB, "-displayfd", str(write_end), "-screen", "0", XVFB_SCREEN, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        # Xvfb writes the display number once it accepts clients, and again on later server
        # generations: it ends itself when it cannot, so the pipe stays open while it runs.
        self.numbers = read_end
        ready, _, _ = select.select([read_end], [], [], XVFB_READY_TIMEOUT_S)
        number = os.read(read_end, 64).decode().strip() if ready else ""
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def environment(self):
        """X11 on this display, SDL drawing on the CPU, no sound device. Under Xvfb SDL would pick
        Mesa's GL, and even its software renderer would present through a GL texture; Mesa's own
        threads would then blur the comparison."""
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env.update(DISPLAY=self.name, SDL_VIDEODRIVER="x11", SDL_RENDER_DRIVER="software",
                   SDL_FRAMEBUFFER_ACCELERATION="0", SDL_AUDIODRIVER="dummy")
        return env

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.numbers)


def run_ffplay_window(port, seconds, display):
    """ffplay showing the stream; it does not stop on its own on live input, so timeout ends it."""
    command = ["timeout", "-s", "INT", str(seconds), "ffplay", "-hide_banner", "-loglevel", "error",
               "-nostats", *ONE_DECODER_THREAD, "-an", "-x", str(WINDOW_SIZE[0]),
               "-y", str(WINDOW_SIZE[1]), "-rtsp_transport", "tcp", stream_url(port)]
    cpu, peak, _ = timed(command, seconds, display.environment())
    return {"cpu": cpu, "peak": peak, "pictures": None}


def viewer_first_picture(viewer, tap, transport):
    """Seconds from launch to the viewer's first picture, and what it reported itself (ms)."""
    started = time.monotonic()
    process = subprocess.Popen(
        viewer_command(viewer, tap.port, FIRST_PICTURE_RUN_S, ["--report-pictures"], transport),
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    seen, reported = None, None
    for line in process.stdout:
        match = re.search(r"first picture after (\d+) ms", line)
        if match and seen is None:
            seen, reported = time.monotonic() - started, int(match.group(1))
    process.wait(timeout=FIRST_PICTURE_TIMEOUT_S)
    return started, seen, reported


def ffmpeg_first_frame(tap, width, height, transport):
    """Seconds from launch to ffmpeg's first whole BGR frame on its output."""
    frame_bytes = width * height * 3
    started = time.monotonic()
    process = subprocess.Popen(
        [*ffmpeg_input(tap.port, transport), "-frames:v", "1", "-pix_fmt", "bgr24", "-f", "rawvideo", "-"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    got, seen = 0, None
    while got < frame_bytes:
        chunk = process.stdout.read1(frame_bytes - got)
        if not chunk:
            break
        got += len(chunk)
    if got >= frame_bytes:
        seen = time.monotonic() - started
    process.wait(timeout=FIRST_PICTURE_TIMEOUT_S)
    return started, seen, None


def first_picture_figures(started, seen, watch):
    """ms from launch: first RTP, first key unit complete, picture; and the picture's lag behind
    the first key unit and behind the last key unit that arrived before it."""
    with watch.lock:
        keys = list(watch.key_units)
        first_rtp = watch.first_rtp
        before_key = watch.units_before_key
        connections = watch.connections
    figures = {"connections": connections, "units_before_key": before_key}
    ms = lambda t: (t - started) * 1000.0 if t is not None else None
    figures["first_rtp"] = ms(first_rtp)
    figures["first_key"] = ms(keys[0][0]) if keys else None
    figures["picture"] = seen * 1000.0 if seen is not None else None
    if keys and seen is not None:
        picture_at = started + seen
        figures["after_first_key"] = (picture_at - keys[0][0]) * 1000.0
        earlier = [k for k in keys if k[0] <= picture_at]
        figures["after_last_key"] = (picture_at - earlier[-1][0]) * 1000.0 if earlier else None
        figures["keys_before"] = len(earlier)
    figures["key_intervals"] = [
        ((b[1] - a[1]) % (1 << 32)) * 1000.0 / RTP_CLOCK_HZ for a, b in zip(keys, keys[1:])]
    figures["key_units"] = [k[2] for k in keys[1:]]
    return figures


# ---- the run ----

def measure_first_pictures(args, tap):
    """First-picture figures of each client, alternating."""
    first = {"vexa": [], "ffmpeg": []}
    for _ in range(args.runs):
        for name, measure in (
                ("vexa", lambda: viewer_first_picture(args.viewer, tap, args.transport)),
                ("ffmpeg",
                 lambda: ffmpeg_first_frame(tap, args.width, args.height, args.transport))):
            watch = tap.new_watch()
            started, seen, reported = measure()
            figures = first_picture_figures(started, seen, watch)
            figures["reported"] = reported
            first[name].append(figures)
            time.sleep(PAUSE_BETWEEN_RUNS_S)
    return first


def make_mpeg4_file(args, work):
    """An MP4 file of MPEG-4 video as ffmpeg writes it, a moving zone plate like the live source,
    at the run's size, rate and key-frame interval."""
    path = os.path.join(work, "bench.mp4")
    pictures = (args.seconds + FILE_SECONDS_BEYOND_RUN) * args.fps
    size = "%dx%d" % (args.width, args.height)
    source = subprocess.Popen(
        ["gst-launch-1.0", "-q", "videotestsrc", "pattern=zone-plate", "kx2=20", "ky2=20", "kt=1",
         "num-buffers=%d" % pictures, "!",
         "video/x-raw,width=%d,height=%d,format=I420" % (args.width, args.height), "!",
         "fdsink", "fd=1"], stdout=subprocess.PIPE)
    subprocess.run(
        ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
         "-pix_fmt", "yuv420p", "-s", size, "-r", str(args.fps), "-i", "-",
         "-c:v", "mpeg4", "-b:v", "%dk" % args.kbps, "-g", str(args.gop), path],
        stdin=source.stdout, check=True, timeout=300)
    source.stdout.close()
    source.wait(timeout=30)
    return path


def start_server(args, work):
    source = (["--mpeg4-file", make_mpeg4_file(args, work)] if CODEC[args.transport] == "mpeg4"
              else [])
    server = subprocess.Popen(
        [SYSTEM_PYTHON, SERVER_SCRIPT, "--port", "0", "--mount", MOUNT, "--width", str(args.width),
         "--height", str(args.height), "--fps", str(args.fps), "--gop", str(args.gop),
         "--kbps", str(args.kbps), "--transport", args.transport, *source],
        stdout=subprocess.PIPE, text=True)
    ready, _, _ = select.select([server.stdout], [], [], SERVER_READY_TIMEOUT_S)
    line = server.stdout.readline() if ready else ""
    if not line.startswith("ready "):
        server.terminate()
        raise SystemExit("the RTSP server did not start")
    return server, int(line.split()[1])


def median_of(runs, key):
    values = [r[key] for r in runs if r.get(key) is not None]
    return statistics.median(values) if values else None


def text(value, form):
    return form.format(value) if value is not None else "-"


def first_picture_rows(row, first, interval_ms):
    for key, label in (("first_rtp", "ms from launch to first RTP packet"),
                       ("first_key", "ms from launch to first key unit complete"),
                       ("picture", "ms from launch to first picture / frame")):
        print(row.format(label, text(median_of(first["vexa"], key), "{:.0f}"),
                         text(median_of(first["ffmpeg"], key), "{:.0f}"), "", ""))
    print(row.format("  viewer's own report (from its start)",
                     text(median_of(first["vexa"], "reported"), "{:.0f}"), "", "", ""))
    print(row.format("first picture after first key unit, ms",
                     text(median_of(first["vexa"], "after_first_key"), "{:.0f}"),
                     text(median_of(first["ffmpeg"], "after_first_key"), "{:.0f}"), "",
                     "<= %.1f (one picture interval)" % interval_ms))
    for key, label, form in (("after_last_key", "  after the last key unit before it, ms", "{:.0f}"),
                             ("keys_before", "  key units arrived before the picture", "{:.0f}"),
                             ("units_before_key", "  units before the first key unit", "{:.0f}")):
        print(row.format(label, text(median_of(first["vexa"], key), form),
                         text(median_of(first["ffmpeg"], key), form), "", ""))


def window_rows(row, args, whole, window_skip, ratio):
    """The shown-window pair; ffplay stands in the ffmpeg column."""
    if window_skip:
        print("  shown window beside ffplay: %s" % window_skip)
        return
    shown, ffplay = whole["window"], whole["ffplay"]
    cpu = median_of(shown, "cpu"), median_of(ffplay, "cpu")
    mib = median_of(shown, "peak") / MIB, median_of(ffplay, "peak") / MIB
    print(row.format("shown %dx%d window, Xvfb, SDL software:" % WINDOW_SIZE, "vexa", "ffplay", "",
                     ""))
    print(row.format("  CPU s (user+sys) over %d s" % args.seconds, text(cpu[0], "{:.2f}"),
                     text(cpu[1], "{:.2f}"), ratio(cpu), "(no target)"))
    print(row.format("  peak memory MiB", text(mib[0], "{:.1f}"), text(mib[1], "{:.1f}"), ratio(mib),
                     ""))
    print(row.format("  pictures painted", text(median_of(shown, "painted"), "{:.0f}"), "", "",
                     "%d at full rate" % (args.fps * args.seconds)))


def print_table(args, whole, first, loads, window_skip):
    interval_ms = 1000.0 / args.fps
    targets = TARGETS[CODEC[args.transport]]
    for runs in whole.values():
        for r in runs:
            r["ms_per_picture"] = r["cpu"] * 1000.0 / r["pictures"] if r.get("pictures") else None
    vexa, ffmpeg, painted = whole["vexa"], whole["ffmpeg"], whole["painted"]
    cpu = median_of(vexa, "cpu"), median_of(ffmpeg, "cpu")
    painted_cpu = median_of(painted, "cpu"), cpu[1]
    painted_each = median_of(painted, "ms_per_picture"), median_of(ffmpeg, "ms_per_picture")
    mib = median_of(vexa, "peak") / MIB, median_of(ffmpeg, "peak") / MIB
    each = median_of(vexa, "ms_per_picture"), median_of(ffmpeg, "ms_per_picture")
    all_first = first["vexa"] + first["ffmpeg"]
    key_intervals = [i for r in all_first for i in r["key_intervals"]]
    key_units = [u for r in all_first for u in r["key_units"]]
    ratio = lambda pair: text(pair[0] / pair[1] if pair[0] and pair[1] else None, "{:.2f}")

    print()
    source = ("MPEG-4 from an ffmpeg-made file" if CODEC[args.transport] == "mpeg4"
              else "H.264 from GStreamer (x264")
    print("RTSP/%s whole process: %dx%d %d fps %s %d kbit/s, key frame every %d pictures%s, "
          "median of %d runs" % (args.transport.upper(), args.width, args.height, args.fps, source,
                                 args.kbps, args.gop, ")" if "(" in source else "", args.runs))
    print("  measured key-frame interval: %s ms (%s pictures); one picture interval %.1f ms"
          % (text(statistics.median(key_intervals) if key_intervals else None, "{:.0f}"),
             text(statistics.median(key_units) if key_units else None, "{:.0f}"), interval_ms))
    print("  load average before / after: %s / %s (2 cores shared)" % loads)
    print()
    row = "  {:<44} {:>9} {:>9} {:>7}  {}"
    print(row.format("", "vexa", "ffmpeg", "ratio", "target"))
    print(row.format("CPU s (user+sys) over %d s" % args.seconds, text(cpu[0], "{:.2f}"),
                     text(cpu[1], "{:.2f}"), ratio(cpu), "ratio <= %.2f" % targets["cpu_ratio"]))
    print(row.format("peak memory MiB", text(mib[0], "{:.1f}"), text(mib[1], "{:.1f}"), ratio(mib),
                     "vexa <= %.0f MiB" % targets["peak_mib"] if "peak_mib" in targets
                     else "ratio <= %.1f" % targets["memory_ratio"]))
    print(row.format("pictures taken / frames converted", text(median_of(vexa, "pictures"), "{:.0f}"),
                     text(median_of(ffmpeg, "pictures"), "{:.0f}"), "",
                     "%d at full rate" % (args.fps * args.seconds)))
    print(row.format("  CPU ms per picture", text(each[0], "{:.2f}"), text(each[1], "{:.2f}"),
                     ratio(each), ""))
    print(row.format("painting off screen (--paint-offscreen):", "", "", "", ""))
    print(row.format("  CPU s, as a shown window costs", text(painted_cpu[0], "{:.2f}"),
                     text(painted_cpu[1], "{:.2f}"), ratio(painted_cpu),
                     "ratio <= %.2f" % targets["painted_cpu_ratio"]
                     if "painted_cpu_ratio" in targets else "(no target)"))
    print(row.format("  pictures painted", text(median_of(painted, "painted"), "{:.0f}"), "", "",
                     ""))
    print(row.format("  CPU ms per picture", text(painted_each[0], "{:.2f}"),
                     text(painted_each[1], "{:.2f}"), ratio(painted_each), ""))
    window_rows(row, args, whole, window_skip, ratio)
    if first["vexa"]:
        first_picture_rows(row, first, interval_ms)
    else:
        print("  first picture: timed on the TCP roads only")
    if args.verbose:
        print()
        for name, runs in whole.items():
            for r in runs:
                print("  %s whole: cpu %.2f s, peak %d KiB, %s pictures"
                      % (name, r["cpu"], r["peak"], text(r["pictures"], "{:d}")))
        for name in ("vexa", "ffmpeg"):
            for r in first[name]:
                shown = {k: round(v) if isinstance(v, float) else v
                         for k, v in r.items() if not k.startswith("key_")}
                print("  %s first: %s" % (name, shown))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--viewer", required=True, help="the vexa-viewer executable")
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--width", type=int, default=1920)
    parser.add_argument("--height", type=int, default=1080)
    parser.add_argument("--fps", type=int, default=30)
    parser.add_argument("--gop", type=int, default=30)
    parser.add_argument("--kbps", type=int, default=4000)
    parser.add_argument("--verbose", action="store_true", help="every run's figures too")
    parser.add_argument("--transport", choices=sorted(VIEWER_MODEL), default="tcp")
    parser.add_argument("--no-window", action="store_true",
                        help="leave out the shown window beside ffplay (TCP road only)")
    args = parser.parse_args()

    work = tempfile.TemporaryDirectory(prefix="vexa-bench-")
    server, port = start_server(args, work.name)
    # "painted": the viewer painting every picture off screen as a shown window would, for the
    # cost of the display beside the headless figure the target is about; "window" and "ffplay":
    # both really shown.
    whole = {"vexa": [], "ffmpeg": [], "painted": [], "window": [], "ffplay": []}
    loads = [os.getloadavg()[0]]
    window_skip, display = window_skip_reason(args), None
    try:
        if not window_skip:
            try:
                display = VirtualDisplay()
            except (OSError, RuntimeError) as error:
                window_skip = "skipped, %s" % error
        tap = Tap(port, CODEC[args.transport])
        # Alternating the clients spreads any change in the machine's load over both.
        for _ in range(args.runs):
            whole["vexa"].append(run_viewer_whole(args.viewer, port, args.seconds, args.transport))
            time.sleep(PAUSE_BETWEEN_RUNS_S)
            whole["ffmpeg"].append(run_ffmpeg_whole(port, args.seconds, args.transport))
            time.sleep(PAUSE_BETWEEN_RUNS_S)
            whole["painted"].append(run_viewer_whole(args.viewer, port, args.seconds,
                                                     args.transport, ["--paint-offscreen"]))
            time.sleep(PAUSE_BETWEEN_RUNS_S)
            if display:
                whole["window"].append(run_viewer_whole(args.viewer, port, args.seconds,
                                                        args.transport, display=display))
                time.sleep(PAUSE_BETWEEN_RUNS_S)
                whole["ffplay"].append(run_ffplay_window(port, args.seconds, display))
                time.sleep(PAUSE_BETWEEN_RUNS_S)
        # The first picture is timed against key units seen by a relay of the RTSP connection,
        # which datagrams do not pass through.
        first = (measure_first_pictures(args, tap) if args.transport != "udp"
                 else {"vexa": [], "ffmpeg": []})
    finally:
        if display:
            display.close()
        server.terminate()
        server.wait(timeout=10)
        work.cleanup()
    loads.append(os.getloadavg()[0])
    print_table(args, whole, first, tuple("%.1f" % l for l in loads), window_skip)
    return 0


if __name__ == "__main__":
    sys.exit(main())
