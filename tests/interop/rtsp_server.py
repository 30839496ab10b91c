#!/usr/bin/python3
"""An RTSP server built on GStreamer's, for interop tests of the viewer.

Serves on 127.0.0.1 only:
  /h264  H.264 (x264enc, payload type 96) plus a PCMU audio track
  /jpeg  RTP/JPEG (payload type 26) plus a PCMU audio track
Both show the same still colour bars, so any frame the viewer draws can be
compared with the reference picture that --reference writes.

  rtsp_server.py [--port N] [--no-audio]   serve until killed; port 0 picks one
  rtsp_server.py --reference FILE.bgr      write the source picture as raw BGR

When ready it prints one line: "rtsp-server: rtsp://127.0.0.1:PORT".
"""

import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

WIDTH = 320
HEIGHT = 240
FPS = 15
# Seven full-height bars of 100% colour: every frame is the same, and each bar
# is wide enough that compression leaves its centre untouched.
PATTERN = "smpte100"
ADDRESS = "127.0.0.1"

# Drawn in BGR and converted after: videotestsrc's own YUV is studio range,
# which jpegenc would pass on as if it were full range.
SOURCE = (
    f"videotestsrc is-live=true pattern={PATTERN} "
    f"! video/x-raw,format=BGR,width={WIDTH},height={HEIGHT},framerate={FPS}/1 ! videoconvert"
)
# A key frame every second so a viewer joining late waits at most that long.
H264 = (
    f"{SOURCE} ! video/x-raw,format=I420 "
    f"! x264enc tune=zerolatency speed-preset=ultrafast key-int-max={FPS} "
    "! rtph264pay name=pay0 pt=96 config-interval=1"
)
# JPEG samples are full range (JFIF; colorimetry 1:4:0:0 is full range with the
# BT.601 matrix), and RTP/JPEG carries 4:2:0 or 4:2:2 only.
JPEG = (
    f"{SOURCE} ! video/x-raw,format=I420,colorimetry=1:4:0:0 "
    "! jpegenc quality=85 ! rtpjpegpay name=pay0 pt=26"
)
AUDIO = (
    "audiotestsrc is-live=true wave=sine freq=440 ! audio/x-raw,rate=8000,channels=1 "
    "! mulawenc ! rtppcmupay name=pay1 pt=0"
)


def make_factory(video, audio):
    factory = GstRtspServer.RTSPMediaFactory()
    launch = f"( {video} {AUDIO} )" if audio else f"( {video} )"
    factory.set_launch(launch)
    factory.set_shared(True)
    return factory


def write_reference(path):
    pipeline = Gst.parse_launch(
        f"videotestsrc num-buffers=1 pattern={PATTERN} "
        f"! video/x-raw,width={WIDTH},height={HEIGHT},format=BGR "
        f"! filesink location={path}"
    )
    pipeline.set_state(Gst.State.PLAYING)
    message = pipeline.get_bus().timed_pop_filtered(
        10 * Gst.SECOND, Gst.MessageType.EOS | Gst.MessageType.ERROR
    )
    pipeline.set_state(Gst.State.NULL)
    if message is None or message.type != Gst.MessageType.EOS:
        print("rtsp-server: could not write the reference picture", file=sys.stderr)
        return 1
    return 0


def serve(port, audio):
    server = GstRtspServer.RTSPServer()
    server.set_address(ADDRESS)
    server.set_service(str(port))
    mounts = server.get_mount_points()
    mounts.add_factory("/h264", make_factory(H264, audio))
    mounts.add_factory("/jpeg", make_factory(JPEG, audio))
    if server.attach(None) == 0:
        print(f"rtsp-server: cannot listen on {ADDRESS}:{port}", file=sys.stderr)
        return 1
    print(f"rtsp-server: rtsp://{ADDRESS}:{server.get_bound_port()}", flush=True)
    GLib.MainLoop().run()
    return 0


def main():
    parser = argparse.ArgumentParser(description="RTSP server for interop tests")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-audio", action="store_true")
    parser.add_argument("--reference", metavar="FILE")
    args = parser.parse_args()
    Gst.init(None)
    if args.reference:
        return write_reference(args.reference)
    return serve(args.port, not args.no_audio)


if __name__ == "__main__":
    sys.exit(main())
