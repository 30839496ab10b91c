"""Hostile plays for RTSP sessions: RTP and RTCP built to mislead (RFC 3550, H.264 payload
RFC 6184, JPEG payload RFC 2435), and the answer that never completes."""

RTP_VERSION = 0x80
RTP_MARKER = 0x80
H264_CLOCK_STEP = 6000  # 90 kHz at the camera's 15 pictures a second
MAX_FRAME_PAYLOAD = 0xFFFF
UNITS_PER_SECOND = 30
JPEG_PICTURES_PER_SECOND = 30
# Each beyond the 20.2 million pixels the viewer decodes H.264 pictures into; a smaller picture of
# noise is a real picture's worth of work.
HUGE_SIZES = [(8192, 8192), (8192, 4320), (16368, 2048), (2048, 16368), (5120, 4096)]
NAL_SLICE, NAL_IDR, NAL_SPS, NAL_PPS, NAL_STAP_A, NAL_FU_A = 1, 5, 7, 8, 24, 28
JPEG_TYPE_420 = 1
JPEG_QUALITY = 60
FAR_OFFSETS = [4 << 20, (4 << 20) + 1, 0x7FFFFF, 0xFFFFF0, 0xFFFFFF]
RTCP_TYPES = range(200, 205)  # SR, RR, SDES, BYE, APP
RTCP_BYE = 203


def rtp(payload_type, seq, timestamp, ssrc, payload, last=False):
    return (bytes([RTP_VERSION, (RTP_MARKER if last else 0) | (payload_type & 0x7F)]) +
            (seq & 0xFFFF).to_bytes(2, "big") + (timestamp & 0xFFFFFFFF).to_bytes(4, "big") +
            (ssrc & 0xFFFFFFFF).to_bytes(4, "big") + payload)


class Bits:
    """An H.264 RBSP written bit by bit (Exp-Golomb as ITU-T H.264 section 9.1)."""

    def __init__(self):
        self.bits = []

    def u(self, count, value):
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]
        return self

    def ue(self, value):
        size = (value + 1).bit_length()
        return self.u(size - 1, 0).u(size, value + 1)

    def se(self, value):
        return self.ue(2 * value - 1 if value > 0 else -2 * value)

    def nal(self, first_byte, stop=True):
        """The NAL unit; without the stop bit for data that goes on past the bits written."""
        bits = self.bits + [1] * stop
        bits += [0] * (-len(bits) % 8)
        raw = bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))
        out = bytearray([first_byte])
        zeros = 0
        for byte in raw:
            if zeros >= 2 and byte <= 3:
                out.append(3)  # emulation prevention
                zeros = 0
            out.append(byte)
            zeros = zeros + 1 if byte == 0 else 0
        return bytes(out)


def sps(width, height):
    """A baseline sequence parameter set announcing width x height."""
    bits = Bits().u(8, 66).u(8, 0xC0).u(8, 51).ue(0).ue(0).ue(2).ue(1).u(1, 0)
    bits.ue(width // 16 - 1).ue(height // 16 - 1).u(1, 1).u(1, 1).u(1, 0).u(1, 0)
    return bits.nal(0x67)


def pps():
    return Bits().ue(0).ue(0).u(1, 0).u(1, 0).ue(0).ue(0).ue(0).u(1, 0).u(2, 0) \
        .se(0).se(0).se(0).u(1, 1).u(1, 0).u(1, 0).nal(0x68)


def idr_slice_head():
    """The head of an I slice of an IDR picture, for noise to follow as its macroblocks."""
    bits = Bits().ue(0).ue(7).ue(0).u(4, 0).ue(0).u(1, 0).u(1, 0).se(0).ue(1)
    return bits.nal(0x65, stop=False)


class VideoTrack:
    """Sequence numbers and timestamps of a hostile video stream in the camera's name."""

    def __init__(self, context, ssrc=None):
        self.context = context
        self.rng = context.random.rng
        self.ssrc = context.video_ssrc if ssrc is None else ssrc
        self.seq = self.rng.randrange(1 << 16)
        self.timestamp = self.rng.randrange(1 << 32)

    def packet(self, payload, last=False, payload_type=None):
        self.seq += 1
        kind = self.context.payload_type if payload_type is None else payload_type
        return rtp(kind or 0, self.seq, self.timestamp, self.ssrc, payload, last)

    def send_unit(self, payloads):
        """One picture's packets, the marker on its last."""
        for i, payload in enumerate(payloads):
            if not self.context.send_video(self.packet(payload, i == len(payloads) - 1)):
                return False
        self.timestamp += H264_CLOCK_STEP
        return True


# ---- interleaved ----

def random_frames(context):
    """Interleaved frames of any channel and length with noise in them, at full speed."""
    rng, random = context.random.rng, context.random
    ours = [context.video_channel, context.video_channel + 1]
    if context.audio_channel is not None:
        ours += [context.audio_channel, context.audio_channel + 1]
    pace = context.pace()
    while pace.running():
        channel = rng.choice(ours) if rng.random() < 0.5 else rng.randrange(256)
        size = rng.choice([0, 1, 11, 12, rng.randint(12, 1500), rng.randint(0, MAX_FRAME_PAYLOAD)])
        if not context.send_frame(channel, random.take(size)):
            break
        pace.wait(size)


def max_frames(context):
    """Frames of 65535 bytes: on the video channel one H.264 fragment after another of a unit
    that never ends, between them the same size on the other channels."""
    track = VideoTrack(context)
    random = context.random
    fragment = MAX_FRAME_PAYLOAD - 12 - 2
    others = [context.video_channel + 1]
    if context.audio_channel is not None:
        others += [context.audio_channel, context.audio_channel + 1]
    pace = context.pace()
    start = 0x80
    turn = 0
    while pace.running():
        payload = bytes([0x60 | NAL_FU_A, start | NAL_IDR]) + random.take(fragment)
        start = 0
        sent = context.send_frame(context.video_channel, track.packet(payload))
        if turn % 4 == 3:
            sent = sent and context.send_frame(others[turn // 4 % len(others)],
                                               random.take(MAX_FRAME_PAYLOAD))
        turn += 1
        if not sent:
            break
        pace.wait(MAX_FRAME_PAYLOAD)


def random_unit(track):
    """The packets of one made-up access unit."""
    rng, random = track.rng, track.context.random
    kind = rng.randrange(6)
    if kind == 0:  # parameter sets announcing a huge picture, and a key slice of noise
        width, height = rng.choice(HUGE_SIZES)
        return [sps(width, height), pps(), idr_slice_head() + random.take(rng.randint(200, 1400))]
    if kind == 1:  # one NAL unit of any type
        return [bytes([rng.randrange(256)]) + random.take(rng.randint(0, 1400))]
    if kind == 2:  # an aggregation whose sizes lie
        sizes = b"".join(rng.randrange(1 << 16).to_bytes(2, "big") + random.take(rng.randint(0, 40))
                         for _ in range(rng.randint(1, 6)))
        return [bytes([0x60 | NAL_STAP_A]) + sizes]
    if kind == 3:  # fragments with start and end bits anywhere
        return [bytes([0x60 | NAL_FU_A, rng.randrange(256)]) + random.take(rng.randint(0, 1400))
                for _ in range(rng.randint(1, 5))]
    if kind == 4:  # slices of noise that need parameter sets nobody sent
        return [bytes([0x41]) + random.take(rng.randint(10, 1400))]
    return [random.take(rng.randint(0, 1400))]


def random_nal_units(context):
    """Made-up H.264 access units, among them parameter sets announcing huge pictures."""
    track = VideoTrack(context)
    pace = context.pace()
    while pace.running():
        if not track.send_unit(random_unit(track)):
            break
        pace.sleep(1.0 / UNITS_PER_SECOND)


def jpeg_header(offset, width, height, quality=JPEG_QUALITY):
    return (bytes([0]) + offset.to_bytes(3, "big") +
            bytes([JPEG_TYPE_420, quality, (width // 8) & 0xFF, (height // 8) & 0xFF]))


def jpeg_pictures(context, fragments):
    """RTP/JPEG pictures whose fragments fragments(rng) gives as (offset, width, height)."""
    track = VideoTrack(context)
    random, rng = context.random, context.random.rng
    pace = context.pace()
    while pace.running():
        payloads = [jpeg_header(*fragment) + random.take(rng.randint(100, 1400))
                    for fragment in fragments(rng)]
        if not track.send_unit(payloads):
            break
        pace.sleep(1.0 / JPEG_PICTURES_PER_SECOND)


def jpeg_zero_size(context):
    """RTP/JPEG pictures of zero width or height."""
    sizes = [(0, 480), (640, 0), (0, 0)]

    def fragments(rng):
        width, height = rng.choice(sizes)
        return [(offset, width, height) for offset in (0, 1400, 2800)]

    jpeg_pictures(context, fragments)


def jpeg_far_offset(context):
    """RTP/JPEG pictures whose fragments lie past 4 MiB, some without a first fragment."""

    def fragments(rng):
        start = [(0, 640, 480)] if rng.random() < 0.7 else []
        return start + [(rng.choice(FAR_OFFSETS), 640, 480) for _ in range(rng.randint(1, 3))]

    jpeg_pictures(context, fragments)


def foreign_ssrc(context):
    """One packet from a source that is not the camera, before the camera's first."""
    track = VideoTrack(context, ssrc=context.video_ssrc ^ 0x5A5A5A5A)
    track.send_unit([sps(640, 480)])


def endless_answer(cseq):
    """An answer announcing 2 GiB of description, of which a line comes; then silence."""
    return (b"RTSP/1.0 200 OK\r\nCSeq: %d\r\nContent-Type: application/sdp\r\n"
            b"Content-Length: 2147483648\r\n\r\nv=0\r\n" % cseq)


# ---- over UDP ----

def runt(context):
    """One datagram shorter than an RTP header on the video port."""
    context.send_datagram(0, bytes([RTP_VERSION, 96, 0x12, 0x34, 0, 0, 0, 1]))


def rtp_flood(context):
    """RTP datagrams at full speed, mostly from strangers, some in the camera's name with
    sequence numbers from anywhere."""
    rng, random = context.random.rng, context.random
    pace = context.pace()
    while pace.running():
        ssrc = context.video_ssrc if rng.random() < 0.25 else rng.randrange(1 << 32)
        packet = rtp(rng.choice([context.payload_type or 0, rng.randrange(128)]),
                     rng.randrange(1 << 16), rng.randrange(1 << 32), ssrc,
                     random.take(rng.randint(0, 1400)), rng.random() < 0.1)
        context.send_datagram(0, packet)
        pace.wait(len(packet))


def rtcp_packet(rng, random, camera_ssrc):
    kind = rng.choice(RTCP_TYPES)
    ssrc = rng.randrange(1 << 32)
    if kind == RTCP_BYE and ssrc == camera_ssrc:
        ssrc ^= 1  # a goodbye in the camera's name would end the stream by right
    body = random.take(4 * rng.randint(0, 60))
    words = (4 + len(body)) // 4 - 1
    if rng.random() < 0.3:
        words = rng.randrange(1 << 16)  # a length that lies
    return (bytes([0x80 | rng.randrange(32), kind]) + words.to_bytes(2, "big") +
            ssrc.to_bytes(4, "big") + body)


def rtcp_flood(context):
    """Compound RTCP datagrams at full speed on the video RTCP port, lengths lying in some."""
    rng, random = context.random.rng, context.random
    pace = context.pace()
    while pace.running():
        datagram = b"".join(rtcp_packet(rng, random, context.video_ssrc)
                            for _ in range(rng.randint(1, 4)))
        context.send_datagram(1, datagram)
        pace.wait(len(datagram))


# ---- the valid stream as a reference ----

def replay(recorded, rate):
    """The camera's recorded video packets over and over, renumbered and retimed as one
    continuous stream in the session's SSRC, at rate bytes per second."""

    def play(context):
        pictures = max(1, sum(1 for p in recorded if p[1] & RTP_MARKER))
        first = int.from_bytes(recorded[0][4:8], "big")
        last = int.from_bytes(recorded[-1][4:8], "big")
        step = (last - first) // max(1, pictures - 1) or H264_CLOCK_STEP
        period = last - first + step
        seq = context.random.rng.randrange(1 << 16)
        pace = context.pace(rate)
        loop = 0
        while pace.running():
            for packet in recorded:
                seq += 1
                timestamp = int.from_bytes(packet[4:8], "big") - first + loop * period
                rewritten = rtp(packet[1] & 0x7F, seq, timestamp, context.video_ssrc,
                                packet[12:], bool(packet[1] & RTP_MARKER))
                if not context.send_video(rewritten) or not pace.wait(len(rewritten)):
                    return
            loop += 1

    return play
