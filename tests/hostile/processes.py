"""vexa-camera and vexa-viewer as the suite runs them, and what /proc tells of the viewer."""
import os
import re
import subprocess
import threading
import time
from collections import namedtuple

CAMERA_START_TIMEOUT_S = 15.0
STOP_TIMEOUT_S = 5.0
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
SANITIZER_SIGNS = ("Sanitizer", "runtime error:")

Snapshot = namedtuple("Snapshot", "when cpu_s peak_kib rss_kib")


class ProcessWatch:
    """CPU time and memory of one process, read from /proc."""

    def __init__(self, pid):
        self.pid = pid

    def snapshot(self):
        """A Snapshot, or None once the process is gone."""
        try:
            with open(f"/proc/{self.pid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{self.pid}/status") as status:
                text = status.read()
        except OSError:
            return None
        # After the name: state is field 3, utime and stime fields 14 and 15.
        cpu = (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
        peak = re.search(r"VmHWM:\s+(\d+)", text)
        rss = re.search(r"VmRSS:\s+(\d+)", text)
        if not peak or not rss:
            return None
        return Snapshot(time.monotonic(), cpu, int(peak.group(1)), int(rss.group(1)))


def stop(process):
    """Ends a process this suite started, by its id; True when it had to be killed."""
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


class Camera:
    """vexa-camera on loopback ports of its choosing."""

    def __init__(self, binary, seconds):
        self.process = subprocess.Popen(
            [binary, "--port", "0", "--rtsp-port", "0", "--width", "640", "--height", "480",
             "--fps", "15", "--duration", str(int(seconds) + 1)],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()
        self.http_port = self.rtsp_port = None
        deadline = time.monotonic() + CAMERA_START_TIMEOUT_S
        while self.rtsp_port is None and time.monotonic() < deadline:
            time.sleep(0.05)
            text = "".join(self.lines)
            http = re.search(r"http://127\.0\.0\.1:(\d+)", text)
            rtsp = re.search(r"rtsp://127\.0\.0\.1:(\d+)", text)
            if http and rtsp:
                self.http_port, self.rtsp_port = int(http.group(1)), int(rtsp.group(1))
        if self.rtsp_port is None:
            stop(self.process)
            raise RuntimeError("vexa-camera did not tell its addresses: " + "".join(self.lines))

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line)

    def port_for(self, protocol):
        return self.http_port if protocol == 2 else self.rtsp_port

    def stop(self):
        stop(self.process)


class ViewerRun:
    """One vexa-viewer, headless with statistics; its lines kept with the time they came."""

    def __init__(self, binary, protocol, address, seconds):
        environment = dict(os.environ, SDL_AUDIODRIVER="dummy")
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            [binary, "--protocol", str(protocol), "--headless", "--stats", "--mute",
             "--report-pictures", "--duration", f"{seconds:.1f}", address],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=environment)
        self.watch = ProcessWatch(self.process.pid)
        self.lines = []  # (when, line)
        self.errors = []
        self._readers = [threading.Thread(target=self._read, args=pipe, daemon=True)
                         for pipe in ((self.process.stdout, self.lines),
                                      (self.process.stderr, self.errors))]
        for reader in self._readers:
            reader.start()
        self.killed = False

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append((time.monotonic(), line.rstrip("\n")))

    def running(self):
        return self.process.poll() is None

    def end(self, timeout_s):
        """Asks the viewer to quit as Ctrl-C would and waits; kills it when it does not end."""
        if self.running():
            self.process.terminate()
        try:
            self.process.wait(timeout_s)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            self.killed = True
        for reader in self._readers:
            reader.join(STOP_TIMEOUT_S)

    @property
    def status(self):
        return self.process.returncode

    def first_picture_at(self):
        return next((when for when, line in self.lines if "first picture after" in line), None)

    def rates(self):
        """(when, pictures received, pictures shown) in the second before each statistics line."""
        rates = []
        for when, line in self.lines:
            match = re.search(r"Network / Display:\s+(\d+) / (\d+) fps", line)
            if match:
                rates.append((when, int(match.group(1)), int(match.group(2))))
        return rates

    def sanitizer_report(self):
        return [line for _, line in self.errors if any(s in line for s in SANITIZER_SIGNS)]

    def error_lines(self):
        return [line for _, line in self.errors if not line.startswith("ALSA lib")]
