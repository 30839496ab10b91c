"""The processes a recording run needs: a source (vexa-camera or GStreamer's RTSP server) on
loopback and the recording vexa-viewer. Each is ended by its own process id."""
import base64
import binascii
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time

START_TIMEOUT_S = 15.0
STOP_TIMEOUT_S = 5.0
POLL_S = 0.05
HERE = os.path.dirname(os.path.abspath(__file__))
GST_SERVER = os.path.join(HERE, "..", "interop", "rtsp_server.py")
SYSTEM_PYTHON = "/usr/bin/python3"  # Debian's, which has the GStreamer bindings
MAX_ANSWER_BYTES = 65536
ANNEX_B_START = b"\x00\x00\x00\x01"

sys.path.append(os.path.join(HERE, "..", "hostile"))
# The hostile suite's: stop ends a process by its id.
from processes import SANITIZER_SIGNS, stop  # noqa: E402


class Lines:
    """The lines of a pipe as they come, with the time each came."""

    def __init__(self, stream):
        self.lines = []  # (when, line)
        self._reader = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._reader.start()

    def _read(self, stream):
        for line in stream:
            self.lines.append((time.monotonic(), line.rstrip("\n")))

    def join(self):
        self._reader.join(STOP_TIMEOUT_S)

    def text(self):
        return "\n".join(line for _, line in self.lines)

    def wait_for(self, pattern, process, timeout_s):
        """The first match of pattern in the lines, waiting while process runs; None at the end."""
        deadline = time.monotonic() + timeout_s
        while True:
            found = re.search(pattern, self.text())
            if found or process.poll() is not None or time.monotonic() > deadline:
                return found
            time.sleep(POLL_S)


class Source:
    """A stream source on loopback; address(path) is what the viewer is given."""

    def __init__(self, command, address_pattern):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.output = Lines(self.process.stdout)
        found = self.output.wait_for(address_pattern, self.process, START_TIMEOUT_S)
        if not found:
            stop(self.process)
            raise RuntimeError(f"{os.path.basename(command[0])} told no address: "
                               f"{self.output.text()[-300:]}")
        self.ports = [int(port) for port in found.groups()]

    def stop(self):
        stop(self.process)


class Camera(Source):
    def __init__(self, binary, fps, width, height, seconds, dump=None, options=()):
        command = [binary, "--port", "0", "--rtsp-port", "0", "--fps", str(fps),
                   "--width", str(width), "--height", str(height),
                   "--duration", str(int(seconds) + 1), *options]
        if dump:
            command += ["--dump-video", dump]
        super().__init__(command, r"http://127\.0\.0\.1:(\d+)[\s\S]*rtsp://127\.0\.0\.1:(\d+)")

    def address(self, protocol, path):
        http, rtsp = self.ports
        return f"127.0.0.1:{http if protocol == 2 else rtsp}{path}"

    def parameter_sets(self, path):
        """The H.264 parameter sets of the stream's session description, in Annex B: what a
        stream that sends them nowhere else needs before its first picture."""
        found = re.search(r"sprop-parameter-sets=([^;\s]+)", self._describe(path))
        try:
            units = [base64.b64decode(text) for text in found.group(1).split(",")] if found else []
        except binascii.Error:
            units = []
        return b"".join(ANNEX_B_START + unit for unit in units)

    def _describe(self, path):
        port = self.ports[1]
        request = (f"DESCRIBE rtsp://127.0.0.1:{port}{path} RTSP/1.0\r\nCSeq: 1\r\n"
                   "Accept: application/sdp\r\n\r\n")
        answer = b""
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=START_TIMEOUT_S) as rtsp:
                rtsp.sendall(request.encode())
                while len(answer) < MAX_ANSWER_BYTES:
                    head, _, body = answer.partition(b"\r\n\r\n")
                    length = re.search(rb"Content-Length:\s*(\d+)", head, re.I)
                    if length and len(body) >= int(length.group(1)):
                        break
                    received = rtsp.recv(MAX_ANSWER_BYTES)
                    if not received:
                        break
                    answer += received
        except OSError:
            pass  # no parameter sets then, and the comparison tells
        return answer.decode(errors="replace")


class GstServer(Source):
    def __init__(self):
        super().__init__([SYSTEM_PYTHON, GST_SERVER, "--port", "0"],
                         r"rtsp-server: rtsp://127\.0\.0\.1:(\d+)")

    def address(self, protocol, path):
        return f"127.0.0.1:{self.ports[0]}{path}"


class Viewer:
    """One headless vexa-viewer that records."""

    def __init__(self, binary, protocol, address, record, seconds, size_limit=None):
        command = [binary, "--protocol", str(protocol), "--headless", "--mute", "--stats",
                   "--report-pictures", "--record", record, "--duration", f"{seconds:g}",
                   address]
        if size_limit:
            command = ["prlimit", f"--fsize={size_limit}", "--"] + command
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
        self.out = Lines(self.process.stdout)
        self.err = Lines(self.process.stderr)
        self.timed_out = False

    def first_picture(self, timeout_s):
        return self.out.wait_for(r"first picture after (\d+) ms", self.process, timeout_s)

    def signal(self, number):
        if self.process.poll() is None:
            os.kill(self.process.pid, number)

    def wait(self, timeout_s):
        try:
            self.process.wait(timeout_s)
        except subprocess.TimeoutExpired:
            self.timed_out = True
            self.signal(signal.SIGKILL)
            self.process.wait()
        self.out.join()
        self.err.join()
        return self.process.returncode

    def recorded(self):
        """The files the viewer says it recorded, or None when it said nothing of them."""
        found = re.search(r"^vexa-viewer: recorded (.+)$",
                          self.out.text() + "\n" + self.err.text(), re.M)
        return found.group(1).split() if found else None

    def pictures_taken(self):
        found = re.search(r"vexa-viewer: (\d+) pictures taken", self.out.text())
        return int(found.group(1)) if found else None

    def sanitizer_report(self):
        return [line for _, line in self.err.lines if any(s in line for s in SANITIZER_SIGNS)]
