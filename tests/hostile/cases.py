"""The hostile cases: one class of broken or malicious camera input each, then the camera's own
valid stream.

A case plays for the phase (play), once before the camera's stream (shot), or answers the first
request itself (answer) and then falls silent. holds: the camera's media wait until the phase is over, as they must on
a connection the hostile input has taken; over UDP a flood comes beside them.
"""
from dataclasses import dataclass
from typing import Callable, Optional

import mjpeg
import rtp

MJPEG, RTSP_H264, RTSP_JPEG, UDP_H264 = 2, 12, 4, 10
PATHS = {MJPEG: "", RTSP_H264: "/h264", RTSP_JPEG: "/jpeg", UDP_H264: "/h264"}
FAMILIES = {MJPEG: "HTTP multipart JPEG", RTSP_H264: "RTSP interleaved H.264",
            RTSP_JPEG: "RTSP interleaved JPEG", UDP_H264: "RTSP, H.264 over UDP"}


@dataclass
class Case:
    name: str
    protocol: int
    play: Optional[Callable] = None
    shot: Optional[Callable] = None
    answer: Optional[Callable] = None
    holds: bool = True
    phase_s: Optional[float] = None  # a phase of its own, however long the run's are

    @property
    def path(self):
        return PATHS[self.protocol]

    @property
    def one_shot(self):
        return self.shot is not None


CASES = [
    Case("mjpeg-endless-part", MJPEG, play=mjpeg.endless_part),
    Case("mjpeg-length-2gib", MJPEG, play=mjpeg.bad_length(b"2147483648")),
    Case("mjpeg-length-negative", MJPEG, play=mjpeg.bad_length(b"-5")),
    Case("mjpeg-length-text", MJPEG, play=mjpeg.bad_length(b"abc")),
    Case("mjpeg-garbage", MJPEG, play=mjpeg.garbage),
    Case("mjpeg-slowloris", MJPEG, play=mjpeg.slowloris),
    Case("mjpeg-long-boundary", MJPEG, play=mjpeg.long_boundary),
    Case("mjpeg-boundary-reannounced", MJPEG, play=mjpeg.reannounced_boundary),
    Case("mjpeg-lf-only", MJPEG, play=mjpeg.lf_only),
    Case("mjpeg-not-jpeg", MJPEG, play=mjpeg.not_jpeg),
    Case("rtsp-random-frames", RTSP_H264, play=rtp.random_frames),
    Case("rtsp-max-frames", RTSP_H264, play=rtp.max_frames),
    Case("rtsp-random-nal", RTSP_H264, play=rtp.random_nal_units),
    Case("rtsp-jpeg-zero-size", RTSP_JPEG, play=rtp.jpeg_zero_size),
    Case("rtsp-jpeg-far-offset", RTSP_JPEG, play=rtp.jpeg_far_offset),
    Case("rtsp-foreign-ssrc", RTSP_H264, shot=rtp.foreign_ssrc),
    # Silence is silence however long it lasts: the valid stream is on offer after 3 s.
    Case("rtsp-endless-answer", RTSP_H264, answer=rtp.endless_answer, phase_s=3.0),
    Case("udp-runt", UDP_H264, shot=rtp.runt),
    Case("udp-stray-ssrc", UDP_H264, shot=rtp.foreign_ssrc),
    Case("udp-rtp-flood", UDP_H264, play=rtp.rtp_flood, holds=False),
    Case("udp-rtcp-flood", UDP_H264, play=rtp.rtcp_flood, holds=False),
]


def valid_case(protocol):
    """The camera's stream relayed from the start: the measure of a valid run."""
    return Case(f"valid-{protocol}", protocol, shot=lambda context: None)


def replay_case(protocol, recorded, rate):
    """The camera's recorded stream at rate bytes per second, in place of the camera's own."""
    play = (mjpeg.replay if protocol == MJPEG else rtp.replay)(recorded, rate)
    return Case(f"replay-{protocol}", protocol, play=play)
