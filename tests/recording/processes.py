"""The processes a recording run needs: a source (vexa-camera or GStreamer's RTSP server) on
loopback and the recording vexa-viewer. Each is ended by its own process id."""
import os
import re
import signal
import subprocess
import threading
import time

START_TIMEOUT_S = 15.0
STOP_TIMEOUT_S = 5.0
POLL_S = 0.05
HERE = os.path.dirname(os.path.abspath(__file__))
GST_SERVER = os.path.join(HERE, "..", "interop", "rtsp_server.py")
SYSTEM_PYTHON = "/usr/bin/python3"  # Debian's, which has the GStreamer bindings
SANITIZER_SIGNS = ("Sanitizer", "runtime error:")


def stop(process):
    """Ends a process this suite started; True when it had to be killed."""
    if process.poll() is not None:
        return False
    process.terminate()
    try:
        process.wait(STOP_TIMEOUT_S)
        return False
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return True


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
