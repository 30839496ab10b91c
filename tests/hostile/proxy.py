"""What every hostile proxy shares: the run's timeline, sending that a stop can interrupt, the
viewer's side of a relayed connection, seeded random bytes and the listening loop.

Every time is time.monotonic(), the clock the driver reads the viewer's output on.
"""
import random
import select
import socket
import threading
import time
import zlib

LOOPBACK = "127.0.0.1"
SELECT_STEP_S = 0.1
RECEIVE_SIZE = 65536
RANDOM_POOL_BYTES = 1 << 20


class Timeline:
    """When the hostile phase began and ended, when the valid stream was offered again, and what
    the viewer was sent in the measured window (the phase, or for a one-shot case the same span
    after its shot). The first connection to play starts it; later ones join it."""

    def __init__(self, window_s, one_shot):
        self.window_s = window_s
        self.one_shot = one_shot
        self.stopping = threading.Event()
        self.watch = None  # the viewer's ProcessWatch, read at the window's edges
        self._lock = threading.Lock()
        self.phase_start = None
        self.hostile_until = None
        self.valid_start = None
        self.window_bytes = 0
        self.connections = 0
        self.snapshots = {}
        self._holding = 0  # relays holding the camera's stream back for the phase

    def begin(self):
        """Starts the phase on the first call; every call answers when it ends."""
        with self._lock:
            if self.phase_start is not None:
                return self.hostile_until
            now = time.monotonic()
            self.phase_start = now
            self.hostile_until = now if self.one_shot else now + self.window_s
            if self.one_shot:
                self.valid_start = now
        self._snapshot("start")
        timer = threading.Timer(self.window_s, self._window_over)
        timer.daemon = True
        timer.start()
        return self.hostile_until

    def hostile(self):
        with self._lock:
            return self.hostile_until is not None and time.monotonic() < self.hostile_until

    def hold(self):
        """A relay holds the camera's stream back for the phase."""
        with self._lock:
            self._holding += 1

    def release(self):
        """A relay stopped holding the camera's stream back: it relays it again, or its
        connection ended, after which a new one gets the valid stream at once."""
        with self._lock:
            self._holding -= 1
            over = time.monotonic() >= self.hostile_until
        if over:
            self.offer_valid()

    def offer_valid(self, when=None):
        """The valid stream reached the viewer again (the first offer counts)."""
        with self._lock:
            if self.valid_start is None:
                self.valid_start = time.monotonic() if when is None else when

    def count(self, size):
        with self._lock:
            start = self.phase_start
            if start is not None and time.monotonic() <= start + self.window_s:
                self.window_bytes += size

    def connected(self):
        """Counts a connection of the viewer's; its number, from 1."""
        with self._lock:
            self.connections += 1
            return self.connections

    def _window_over(self):
        self._snapshot("end")
        with self._lock:
            nobody_holding = self._holding == 0
        # No connection is there to take the valid stream: it is on offer from now on.
        if nobody_holding:
            self.offer_valid(self.hostile_until)

    def _snapshot(self, name):
        if self.watch is not None:
            self.snapshots[name] = self.watch.snapshot()


def send_all(sock, data, stopping):
    """Sends all of data unless the run stops or the peer goes; False when it did not."""
    view = memoryview(data)
    while view:
        if stopping.is_set():
            return False
        try:
            _, writable, _ = select.select([], [sock], [], SELECT_STEP_S)
            if writable:
                view = view[sock.send(view):]
        except (OSError, ValueError):  # ValueError: closed by the other direction's thread
            return False
    return True


def receive(sock, stopping):
    """Bytes from sock, or b"" once the peer closed or the run stops."""
    while not stopping.is_set():
        try:
            readable, _, _ = select.select([sock], [], [], SELECT_STEP_S)
            if readable:
                return sock.recv(RECEIVE_SIZE)
        except (OSError, ValueError):
            return b""
    return b""


class ViewerSide:
    """The viewer's end of one relayed connection. The hostile player and the relay write to it
    from their own threads, whole messages at a time."""

    def __init__(self, sock, timeline):
        self.sock = sock
        self.timeline = timeline
        self.lock = threading.Lock()
        self.open = True

    def send(self, data):
        with self.lock:
            if self.open and not send_all(self.sock, data, self.timeline.stopping):
                self.open = False
            if self.open:
                self.timeline.count(len(data))
            return self.open


class Pace:
    """Holds a sender to a byte rate (None: as fast as the viewer takes it) until a deadline."""

    def __init__(self, rate, until, stopping):
        self.rate = rate
        self.until = until
        self.stopping = stopping
        self.started = time.monotonic()
        self.sent = 0

    def running(self):
        return not self.stopping.is_set() and time.monotonic() < self.until

    def wait(self, size):
        """Waits until size more bytes are due; False once the deadline passed."""
        self.sent += size
        if self.rate is not None:
            due = self.started + self.sent / self.rate
            while self.running():
                ahead = due - time.monotonic()
                if ahead <= 0:
                    break
                time.sleep(min(ahead, SELECT_STEP_S))
        return self.running()

    def sleep(self, seconds):
        """Sleeps, waking early at the deadline; False once it passed."""
        end = min(time.monotonic() + seconds, self.until)
        while not self.stopping.is_set():
            left = end - time.monotonic()
            if left <= 0:
                break
            time.sleep(min(left, SELECT_STEP_S))
        return self.running()


class RandomBytes:
    """Seeded random bytes: the same case always plays the same input."""

    def __init__(self, name):
        self.rng = random.Random(zlib.crc32(name.encode()))
        self.pool = self.rng.randbytes(RANDOM_POOL_BYTES)

    def take(self, size):
        """size bytes (at most the pool's) from a random place in the pool."""
        size = min(size, len(self.pool))
        at = self.rng.randrange(len(self.pool) - size + 1)
        return self.pool[at:at + size]


class Listener:
    """Accepts the viewer's connections on a loopback port and serves each on its own thread."""

    def __init__(self, serve, stopping):
        self.serve = serve
        self.stopping = stopping
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((LOOPBACK, 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self._threads = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self.stopping.is_set():
            readable, _, _ = select.select([self.sock], [], [], SELECT_STEP_S)
            if not readable:
                continue
            try:
                client, _ = self.sock.accept()
            except OSError:
                return
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            thread = threading.Thread(target=self._serve, args=(client,), daemon=True)
            self._threads.append(thread)
            thread.start()

    def _serve(self, client):
        try:
            self.serve(client)
        finally:
            client.close()

    def close(self, wait_s=2.0):
        self.stopping.set()
        self.sock.close()
        for thread in self._threads:
            thread.join(wait_s)


class Proxy:
    """Listens for the viewer on loopback and relays each connection to the camera at
    camera_port, playing case on it; serve(client, number) is the relay."""

    def __init__(self, camera_port, case, timeline, recording):
        self.camera_port = camera_port
        self.case = case
        self.timeline = timeline
        self.recording = recording
        self.listener = Listener(self._accepted, timeline.stopping)
        self.port = self.listener.port

    def close(self):
        self.listener.close()

    def _accepted(self, client):
        self.serve(client, self.timeline.connected())


def connect_camera(port):
    sock = socket.create_connection((LOOPBACK, port), timeout=5)
    sock.settimeout(None)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return sock
