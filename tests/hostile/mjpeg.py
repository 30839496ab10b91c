"""The HTTP multipart JPEG proxy and its hostile plays.

The proxy passes the viewer's request to vexa-camera and reads the camera's answer. While the
phase lasts, a play writes its hostile input to the viewer and the camera's parts are read and
dropped; then the play's closing bytes go out and the camera's parts are relayed, whole, from the
next one on.
"""
import re
import threading
import time

from proxy import Pace, Proxy, RandomBytes, ViewerSide, connect_camera, receive, send_all

HEAD_END = b"\r\n\r\n"
MAX_HEAD_BYTES = 65536
MAX_CAMERA_PART_BYTES = 8 << 20
RECORDED_PARTS = 45
SAMPLE_WAIT_S = 3.0


class CameraParts:
    """The camera's multipart answer, cut into parts (part header, picture and the delimiter
    that follows it, as the camera sent them)."""

    def __init__(self, sock, stopping):
        self.sock = sock
        self.stopping = stopping
        self.buffer = bytearray()
        self.answer = self._until(HEAD_END)
        match = re.search(rb"boundary=\"?([^\";\r\n]+)", self.answer or b"")
        self.boundary = match.group(1) if match else b""
        self.opening = b"--" + self.boundary + b"\r\n"
        self.delimiter = b"\r\n" + self.opening
        if self.answer is not None and self._take(len(self.opening)) != self.opening:
            self.answer = None

    def next_part(self):
        """(the part's bytes, its picture), or None when the camera's stream ended."""
        head = self._until(HEAD_END)
        if head is None:
            return None
        match = re.search(rb"(?i)content-length:\s*(\d+)", head)
        length = int(match.group(1)) if match else -1
        if not 0 <= length <= MAX_CAMERA_PART_BYTES:
            return None
        picture = self._take(length)
        end = self._take(len(self.delimiter))
        if picture is None or end != self.delimiter:
            return None
        return head + picture + end, picture

    def _fill(self):
        data = receive(self.sock, self.stopping)
        self.buffer += data
        return bool(data)

    def _until(self, marker):
        while True:
            at = self.buffer.find(marker)
            if at >= 0:
                return self._take(at + len(marker))
            if len(self.buffer) > MAX_HEAD_BYTES or not self._fill():
                return None

    def _take(self, size):
        while len(self.buffer) < size:
            if not self._fill():
                return None
        taken = bytes(self.buffer[:size])
        del self.buffer[:size]
        return taken


class MjpegProxy(Proxy):
    """case.play(context) writes the hostile phase and returns the bytes that lead into the
    camera's parts; without a play the camera is relayed from the start. recording, when given,
    collects the camera's first parts for replays."""

    def serve(self, client, number):
        stopping = self.timeline.stopping
        request = bytearray()
        while HEAD_END not in request and len(request) < MAX_HEAD_BYTES:
            data = receive(client, stopping)
            if not data:
                return
            request += data
        camera = connect_camera(self.camera_port)
        try:
            if not send_all(camera, bytes(request), stopping):
                return
            parts = CameraParts(camera, stopping)
            if parts.answer is not None:
                self._relay(ViewerSide(client, self.timeline), parts)
        finally:
            camera.close()

    def _relay(self, viewer, parts):
        until = self.timeline.begin()
        play = self.case.play
        holding = play is not None and time.monotonic() < until
        context = PlayContext(self.case.name, viewer, parts, until, self.timeline.stopping)
        if holding:
            self.timeline.hold()
        try:
            lead_in = parts.answer + parts.opening
            if holding:
                reader = threading.Thread(target=context.drop_parts, daemon=True)
                reader.start()
                lead_in = play(context)
                context.dropping = False
                reader.join()
            if not viewer.send(lead_in):
                return
            while True:
                part = parts.next_part()
                if part is None or not viewer.send(part[0]):
                    break
                self.timeline.offer_valid()
                if holding:
                    self.timeline.release()
                    holding = False
                if self.recording is not None and len(self.recording) < RECORDED_PARTS:
                    self.recording.append(part[0])
        finally:
            if holding:
                self.timeline.release()


class PlayContext:
    """What a play works with: the viewer, the camera's answer and pictures, seeded bytes."""

    def __init__(self, name, viewer, parts, until, stopping):
        self.viewer = viewer
        self.parts = parts
        self.until = until
        self.stopping = stopping
        self.random = RandomBytes(name)
        self.dropping = True
        self._sample = None
        self._sampled = threading.Event()

    def send(self, data):
        return self.viewer.send(data)

    def pace(self, rate=None):
        return Pace(rate, self.until, self.stopping)

    def drop_parts(self):
        """Reads the camera's parts while the phase lasts, keeping the first picture."""
        while self.dropping:
            part = self.parts.next_part()
            if part is None:
                break
            if self._sample is None:
                self._sample = part[1]
                self._sampled.set()
        self._sampled.set()

    def sample_picture(self):
        """One of the camera's pictures (None when the camera sent none in time)."""
        self._sampled.wait(SAMPLE_WAIT_S)
        return self._sample

    def junk_picture(self, smallest=2000, largest=30000):
        """Bytes that open and close like a JPEG picture and hold nothing but noise."""
        noise = self.random.take(self.random.rng.randint(smallest, largest))
        return b"\xff\xd8" + noise + b"\xff\xd9"


# ---- the plays ----

PART_INTERVAL_S = 0.1
SLOW_BYTE_INTERVAL_S = 0.3
FULL_SPEED_BLOCK = 65536
LONG_BOUNDARY_BYTES = 100000
REANNOUNCE_INTERVAL_S = 0.2
BOUNDARY_ALPHABET = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
HUGE_SIDE = 16000


def answer_for(boundary, line_end=b"\r\n"):
    return (b"HTTP/1.1 200 OK" + line_end + b"Content-Type: multipart/x-mixed-replace;boundary=" +
            boundary + line_end + line_end)


def part(body, length=None, line_end=b"\r\n", boundary=b"vexaframe"):
    """A part and the delimiter that opens the next; length overrides the announced length."""
    announced = str(len(body)).encode() if length is None else length
    return (b"Content-Type: image/jpeg" + line_end + b"Content-Length: " + announced + line_end +
            line_end + body + line_end + b"--" + boundary + line_end)


def flood(context, opening):
    """Sends opening, then the pool's noise as fast as the viewer reads it."""
    context.send(opening)
    pace = context.pace()
    while pace.running():
        block = context.random.take(FULL_SPEED_BLOCK)
        if not context.send(block):
            break
        pace.wait(len(block))


def endless_part(context):
    """A part without a length whose picture never ends."""
    parts = context.parts
    flood(context, parts.answer + parts.opening + b"Content-Type: image/jpeg\r\n\r\n\xff\xd8")
    return parts.delimiter


def garbage(context):
    """Noise at full speed where the first part should be."""
    flood(context, context.parts.answer)
    return context.parts.delimiter


def bad_length(length):
    """Parts announcing length, each followed by a delimiter."""

    def play(context):
        parts = context.parts
        context.send(parts.answer + parts.opening)
        pace = context.pace()
        while pace.running():
            context.send(part(context.junk_picture(), length, boundary=parts.boundary))
            pace.sleep(PART_INTERVAL_S)
        return b""

    return play


def slowloris(context):
    """The camera's answer, then a part header that never ends, a byte at a time."""
    parts = context.parts
    opening = parts.answer + parts.opening
    text = opening + b"Content-Type: image/jpeg\r\nX-Slow: "
    pace = context.pace()
    sent = 0
    while pace.running():
        context.send(text[sent:sent + 1] or b"a")
        sent += 1
        pace.sleep(SLOW_BYTE_INTERVAL_S)
    return opening[sent:] if sent < len(opening) else parts.delimiter


def random_boundary(context, size):
    return bytes(context.random.rng.choice(BOUNDARY_ALPHABET) for _ in range(size))


def long_boundary(context):
    """A stream announcing a 100,000-byte boundary; then the camera's under a new header."""
    boundary = random_boundary(context, LONG_BOUNDARY_BYTES)
    context.send(answer_for(boundary) + b"--" + boundary + b"\r\n")
    pace = context.pace()
    while pace.running():
        context.send(part(context.junk_picture(), boundary=boundary))
        pace.sleep(PART_INTERVAL_S)
    return context.parts.answer + context.parts.opening


# The ways cameras write a multipart header, as (header, delimiter line) of a boundary.
ANNOUNCEMENTS = [
    lambda b: (answer_for(b), b"--" + b),
    lambda b: (answer_for(b'"' + b + b'"'), b"--" + b),
    lambda b: (answer_for(b + b"; charset=utf-8"), b"--" + b),
    lambda b: (b"Content-Type: multipart/x-mixed-replace; boundary=" + b + b"\r\n\r\n", b"--" + b),
    lambda b: (b"HTTP/1.0 200 OK\r\ncontent-type: Multipart/X-Mixed-Replace; BOUNDARY=" + b +
               b"\r\n\r\n", b"--" + b),
    lambda b: (answer_for(b"--" + b), b"----" + b),
]


def reannounced_boundary(context):
    """A new multipart header with a new boundary every few parts, written as one camera or
    another would, the first one not the camera's; the camera's parts follow the last one."""
    pace = context.pace()
    turn = 0
    while pace.running():
        boundary = random_boundary(context, context.random.rng.randint(1, 68))
        header, delimiter = ANNOUNCEMENTS[turn % len(ANNOUNCEMENTS)](boundary)
        turn += 1
        parts = [part(context.junk_picture(), boundary=delimiter[2:]) for _ in range(2)]
        context.send(header + delimiter + b"\r\n" + b"".join(parts))
        pace.sleep(REANNOUNCE_INTERVAL_S)
    return context.parts.answer + context.parts.opening


def lf_only(context):
    """Header and parts with LF-only line ends; the camera's parts follow under a new CRLF
    header."""
    parts = context.parts
    context.send(answer_for(parts.boundary, b"\n") + b"--" + parts.boundary + b"\n")
    pace = context.pace()
    while pace.running():
        context.send(part(context.junk_picture(), line_end=b"\n", boundary=parts.boundary))
        pace.sleep(PART_INTERVAL_S)
    return parts.answer + parts.opening


def with_frame_size(picture, width, height):
    """The picture with its frame header announcing another size (None when it has none)."""
    at = picture.find(b"\xff\xc0")
    if at < 0 or len(picture) < at + 9:
        return None
    return (picture[:at + 5] + height.to_bytes(2, "big") + width.to_bytes(2, "big") +
            picture[at + 9:])


def before_scan(picture):
    at = picture.find(b"\xff\xda")
    return picture[:at] if at > 0 else None


def not_jpeg(context):
    """Parts of the right length whose pictures are not JPEG, or are JPEG that lies."""
    parts = context.parts
    context.send(parts.answer + parts.opening)
    sample = context.sample_picture() or context.junk_picture()
    random = context.random
    bodies = [
        lambda: random.take(random.rng.randint(2000, 40000)),
        lambda: b"<html><body>503 Service Unavailable</body></html>\r\n",
        lambda: b"\x89PNG\r\n\x1a\n" + random.take(5000),
        lambda: b"",
        lambda: context.junk_picture(),
        lambda: before_scan(sample),
        lambda: with_frame_size(sample, 0, 0),
        lambda: with_frame_size(sample, HUGE_SIDE, HUGE_SIDE),
        lambda: sample[:len(sample) // 2],
    ]
    pace = context.pace()
    turn = 0
    while pace.running():
        body = bodies[turn % len(bodies)]()
        turn += 1
        if body is not None:
            context.send(part(body, boundary=parts.boundary))
        pace.sleep(PART_INTERVAL_S)
    return b""


def replay(recorded, rate):
    """A valid stream of the recorded parts, over and over, at rate bytes per second."""

    def play(context):
        parts = context.parts
        context.send(parts.answer + parts.opening)
        pace = context.pace(rate)
        turn = 0
        while recorded and pace.running():
            data = recorded[turn % len(recorded)]
            turn += 1
            if not context.send(data):
                break
            pace.wait(len(data))
        return b""

    return play
