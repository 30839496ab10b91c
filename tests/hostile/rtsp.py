"""The RTSP proxy: the viewer's dialogue is relayed to vexa-camera, and the camera's media, on
the connection (interleaved) or as datagrams, reach the viewer through it, so that a case can hold
them back and put its own input in their place.

For RTP over UDP the proxy takes the place of both ends: SETUP names the proxy's ports to the
camera, and the answer names them to the viewer as the server's, so the camera's datagrams, the
hostile ones and the viewer's receiver reports all pass through them.
"""
import re
import select
import socket
import threading
import time

from proxy import (LOOPBACK, RECEIVE_SIZE, SELECT_STEP_S, Pace, Proxy, RandomBytes, ViewerSide,
                   connect_camera, receive, send_all)

INTERLEAVED_MARK = 0x24
INTERLEAVED_HEADER_SIZE = 4
HEAD_END = b"\r\n\r\n"
MAX_HEAD_BYTES = 65536
RTP_HEADER_SIZE = 12
NAL_TYPE_MASK = 0x1F
NAL_IDR, NAL_SPS, NAL_STAP_A, NAL_FU_A = 5, 7, 24, 28
FU_START = 0x80
JPEG_OFFSET_AT = 1  # RFC 2435 header: type-specific, then a 24-bit fragment offset
RECORDED_PACKETS = 400
JPEG_PAYLOAD_TYPE = 26


# ---- RTP as the proxy needs to read it (RFC 3550 section 5.1) ----

def rtp_payload(packet):
    if len(packet) < RTP_HEADER_SIZE or packet[0] >> 6 != 2:
        return b""
    at = RTP_HEADER_SIZE + 4 * (packet[0] & 0x0F)
    if packet[0] & 0x10 and len(packet) >= at + 4:
        at += 4 + 4 * int.from_bytes(packet[at + 2:at + 4], "big")
    return packet[at:]


def marker(packet):
    return len(packet) > 1 and bool(packet[1] & 0x80)


def starts_key_unit(packet, payload_type):
    """Whether a camera packet opens a picture the viewer can start on."""
    payload = rtp_payload(packet)
    if not payload:
        return False
    if payload_type == JPEG_PAYLOAD_TYPE:
        return payload[JPEG_OFFSET_AT:JPEG_OFFSET_AT + 3] == b"\0\0\0"
    kind = payload[0] & NAL_TYPE_MASK
    if kind == NAL_FU_A:
        return len(payload) > 1 and bool(payload[1] & FU_START) and \
            payload[1] & NAL_TYPE_MASK in (NAL_IDR, NAL_SPS)
    if kind == NAL_STAP_A:
        return len(payload) > 3 and payload[3] & NAL_TYPE_MASK in (NAL_IDR, NAL_SPS)
    return kind in (NAL_IDR, NAL_SPS)


# ---- the byte streams ----

class MessageStream:
    """Splits one direction of an RTSP connection into messages and interleaved frames."""

    def __init__(self, sock, stopping):
        self.sock = sock
        self.stopping = stopping
        self.buffer = bytearray()

    def next(self):
        """("frame", channel, payload, raw), ("message", head, body, raw), or None at the end."""
        while True:
            item = self._parse()
            if item is not None:
                return item
            data = receive(self.sock, self.stopping)
            if not data or len(self.buffer) > MAX_HEAD_BYTES + (1 << 20):
                return None
            self.buffer += data

    def _parse(self):
        buf = self.buffer
        if buf[:1] == bytes([INTERLEAVED_MARK]):
            if len(buf) < INTERLEAVED_HEADER_SIZE:
                return None
            end = INTERLEAVED_HEADER_SIZE + int.from_bytes(buf[2:4], "big")
            if len(buf) < end:
                return None
            raw = bytes(buf[:end])
            del buf[:end]
            return "frame", raw[1], raw[INTERLEAVED_HEADER_SIZE:], raw
        head_end = buf.find(HEAD_END)
        if head_end < 0:
            return None
        head = bytes(buf[:head_end + len(HEAD_END)])
        end = len(head) + content_length(head)
        if len(buf) < end:
            return None
        raw = bytes(buf[:end])
        del buf[:end]
        return "message", head, raw[len(head):], raw


def content_length(head):
    match = re.search(rb"(?im)^content-length:\s*(\d+)", head)
    return int(match.group(1)) if match else 0


def header(head, name):
    match = re.search(rb"(?im)^" + name + rb":\s*([^\r\n]*)", head)
    return match.group(1).strip() if match else None


def port_range(ports):
    return b"%d-%d" % ports


def with_ports(head, name, ports):
    """head with the Transport header's name=A-B parameter set to ports."""
    return re.sub(name + rb"=\d+(-\d+)?", name + b"=" + port_range(ports), head, count=1)


def ports_of(transport, name):
    match = re.search(name + rb"=(\d+)(?:-(\d+))?", transport or b"")
    if not match:
        return None
    first = int(match.group(1))
    return first, int(match.group(2)) if match.group(2) else first + 1


# ---- RTP over UDP through the proxy ----

class DatagramPair:
    """The proxy's RTP and RTCP sockets for one track: the camera sends to them, they send to
    the viewer's client ports, and the viewer's receiver reports go on to the camera."""

    def __init__(self, relay, viewer_ports, video):
        self.relay = relay
        self.viewer_ports = viewer_ports
        self.video = video
        self.camera_ports = None
        self.sockets = []
        for _ in range(2):
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sock.bind((LOOPBACK, 0))
            self.sockets.append(sock)
        self.ports = tuple(s.getsockname()[1] for s in self.sockets)
        threading.Thread(target=self._pump, daemon=True).start()

    def to_viewer(self, index, data):
        try:
            self.sockets[index].sendto(data, (LOOPBACK, self.viewer_ports[index]))
        except OSError:
            return False
        self.relay.timeline.count(len(data))
        return True

    def _pump(self):
        stopping = self.relay.timeline.stopping
        while not stopping.is_set() and not self.relay.closed.is_set():
            readable, _, _ = select.select(self.sockets, [], [], SELECT_STEP_S)
            for sock in readable:
                index = self.sockets.index(sock)
                try:
                    data, (_, source_port) = sock.recvfrom(RECEIVE_SIZE)
                except OSError:
                    continue
                if self.camera_ports and source_port == self.camera_ports[index]:
                    self.relay.camera_media(self, index, data)
                elif self.camera_ports:
                    try:
                        sock.sendto(data, (LOOPBACK, self.camera_ports[index]))
                    except OSError:
                        pass
        for sock in self.sockets:
            sock.close()


# ---- one relayed connection ----

class RtspRelay:
    """One connection of the viewer, relayed to its own connection to the camera."""

    def __init__(self, proxy, client, first):
        self.proxy = proxy
        self.case = proxy.case
        self.timeline = proxy.timeline
        self.first = first
        self.viewer = ViewerSide(client, self.timeline)
        self.client = client
        self.closed = threading.Event()
        self.methods = {}  # CSeq -> method, to know what an answer answers
        self.pairs = {}  # CSeq of a SETUP over UDP -> its DatagramPair
        self.video_pair = None
        self.video_channel = None
        self.audio_channel = None
        self.video_ssrc = None
        self.payload_type = None
        self.state = "relay"  # "hold" (camera's media dropped), "await_key", "relay"
        self.holding = False  # counted in the timeline as holding the camera's stream back
        self.state_lock = threading.Lock()

    # -- the viewer's requests --

    def run(self):
        stopping = self.timeline.stopping
        requests = MessageStream(self.client, stopping)
        first_request = requests.next()
        if first_request is None:
            return
        if self.first and self.case.answer is not None:
            self._answer_and_fall_silent(first_request, requests)
            return
        self.camera = connect_camera(self.proxy.camera_port)
        threading.Thread(target=self._answers, daemon=True).start()
        try:
            item = first_request
            while item is not None:
                data = self._request(item) if item[0] == "message" else item[3]
                if not send_all(self.camera, data, stopping):
                    break
                item = requests.next()
        finally:
            self.closed.set()
            self.camera.close()
            with self.state_lock:
                self._stop_holding()

    def _answer_and_fall_silent(self, request, requests):
        """The case answers the first request itself; then nothing more is answered."""
        self.timeline.begin()
        cseq = int(header(request[1], b"CSeq") or b"0")
        self.viewer.send(self.case.answer(cseq))
        while requests.next() is not None:
            pass

    def _request(self, item):
        head, body = item[1], item[2]
        method = head.split(b" ", 1)[0]
        cseq = header(head, b"CSeq")
        self.methods[cseq] = method
        if method == b"SETUP":
            viewer_ports = ports_of(header(head, b"Transport"), b"client_port")
            if viewer_ports is not None:
                pair = DatagramPair(self, viewer_ports, video=not self.pairs)
                self.pairs[cseq] = pair
                self.video_pair = self.video_pair or pair
                head = with_ports(head, b"client_port", pair.ports)
        elif method == b"PLAY" and self.video_pair is not None and self.case.shot is not None:
            # Sent before the camera may start, so that it arrives first.
            self.timeline.begin()
            self.case.shot(self.context())
        return head + body

    # -- the camera's answers and media --

    def _answers(self):
        answers = MessageStream(self.camera, self.timeline.stopping)
        while True:
            item = answers.next()
            if item is None:
                break
            if item[0] == "frame":
                self.camera_media(None, item[1], item[3])
                continue
            head, body = item[1], item[2]
            method = self.methods.get(header(head, b"CSeq"))
            if method == b"SETUP":
                head = self._setup_answer(head)
            if method == b"DESCRIBE" and self.payload_type is None:
                match = re.search(rb"m=video \d+ RTP/AVP (\d+)", body)
                self.payload_type = int(match.group(1)) if match else None
            if not self.viewer.send(head + body):
                break
            if method == b"PLAY":
                self._playing()
        self.closed.set()
        self.client.close()

    def _setup_answer(self, head):
        cseq = header(head, b"CSeq")
        transport = header(head, b"Transport")
        ssrc = re.search(rb"ssrc=([0-9A-Fa-f]+)", transport or b"")
        channels = ports_of(transport, b"interleaved")
        pair = self.pairs.get(cseq)
        video = pair.video if pair is not None else self.video_channel is None
        if video and ssrc:
            self.video_ssrc = int(ssrc.group(1), 16)
        if channels is not None:
            if video:
                self.video_channel = channels[0]
            elif self.audio_channel is None:
                self.audio_channel = channels[0]
        if pair is not None:
            pair.camera_ports = ports_of(transport, b"server_port")
            head = with_ports(head, b"client_port", pair.viewer_ports)
            head = with_ports(head, b"server_port", pair.ports)
        return head

    def _playing(self):
        until = self.timeline.begin()
        if self.case.shot is not None and self.video_pair is None:
            self.case.shot(self.context())
        if self.case.play is None or time.monotonic() >= until:
            return
        if self.case.holds:
            with self.state_lock:
                self.state = "hold"
                self.holding = True
            self.timeline.hold()
        threading.Thread(target=self._play, daemon=True).start()

    def _play(self):
        self.case.play(self.context())
        if self.case.holds:
            with self.state_lock:
                self.state = "await_key"

    def _stop_holding(self):
        if self.holding:
            self.holding = False
            self.timeline.release()

    def camera_media(self, pair, index, raw):
        """A frame (pair None; index its channel) or a datagram from the camera."""
        video = pair.video if pair is not None else index == self.video_channel
        packet = raw if pair is not None else raw[INTERLEAVED_HEADER_SIZE:]
        rtp = index % 2 == 0 if pair is None else index == 0
        with self.state_lock:
            if self.state == "hold":
                return
            if self.state == "await_key":
                if not (video and rtp and starts_key_unit(packet, self.payload_type)):
                    return
                self.state = "relay"
                self.timeline.offer_valid()
                self._stop_holding()
        if video and rtp:
            self.proxy.record(packet, self.payload_type)
        if pair is not None:
            pair.to_viewer(index, raw)
        else:
            self.viewer.send(raw)

    def context(self):
        return RtspContext(self)


class RtspContext:
    """What a play works with: the session's channels, ports and SSRC, and seeded bytes."""

    def __init__(self, relay):
        self.relay = relay
        self.until = relay.timeline.hostile_until
        self.stopping = relay.timeline.stopping
        self.random = relay.proxy.random
        self.video_channel = relay.video_channel if relay.video_channel is not None else 0
        self.audio_channel = relay.audio_channel
        self.video_ssrc = relay.video_ssrc or 0
        self.payload_type = relay.payload_type

    def pace(self, rate=None, until=None):
        return Pace(rate, self.until if until is None else until, self.stopping)

    def send_frame(self, channel, payload):
        frame = bytes([INTERLEAVED_MARK, channel]) + len(payload).to_bytes(2, "big") + payload
        return self.relay.viewer.send(frame)

    def send_datagram(self, index, data):
        """To the viewer's video RTP (0) or RTCP (1) port, from the proxy's."""
        return self.relay.video_pair.to_viewer(index, data)

    def send_video(self, packet):
        """An RTP packet on the video track, whichever road the session took."""
        if self.relay.video_pair is not None:
            return self.send_datagram(0, packet)
        return self.send_frame(self.video_channel, packet)


class RtspProxy(Proxy):
    """Relays the viewer's RTSP connections to the camera, playing case on them. recording,
    when given, collects the camera's first video packets (from a key unit on) for replays."""

    def __init__(self, camera_port, case, timeline, recording=None):
        super().__init__(camera_port, case, timeline, recording)
        self.random = RandomBytes(case.name)
        self._recorded = False
        self._lock = threading.Lock()

    def serve(self, client, number):
        RtspRelay(self, client, first=number == 1).run()

    def record(self, packet, payload_type):
        recording = self.recording
        if recording is None or self._recorded:
            return
        with self._lock:
            if recording or starts_key_unit(packet, payload_type):
                recording.append(packet)
            # Ends on a whole picture: a replay loops back to the key unit it began with.
            self._recorded = len(recording) >= RECORDED_PACKETS and marker(packet)
