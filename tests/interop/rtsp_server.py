#!/usr/bin/python3
"""An RTSP server built on GStreamer's, for interop tests of the viewer.

Serves on 127.0.0.1 only:
  /h264  H.264 (x264enc, payload type 96) plus a PCMU audio track
  /jpeg  RTP/JPEG (payload type 26) plus a PCMU audio track
  /mpeg4 with --mpeg4-file FILE: that MP4 file's MPEG-4 video (payload type 96),
         as servers that stream files send it
Both show the same still colour bars, so any frame the viewer draws can be
compared with the reference picture that --reference writes.

  rtsp_server.py [--port N] [--no-audio] [--auth basic|digest --user U --pass P]
                 [--session-timeout S] [--mpeg4-file FILE] [--listen ADDR] [--multicast]
                                           serve until killed; port 0 picks one
  rtsp_server.py --reference FILE.bgr      write the source picture as raw BGR

With --auth every request needs the credentials; with --session-timeout the
sessions time out after S seconds without a request or RTCP from the client.
--listen serves on ADDR instead of 127.0.0.1. --multicast serves every stream
to a multicast group only, which SETUP chooses from 239.255.42.1 to
239.255.42.10 (TTL 1; run it in a network namespace of its own: the server
binds the group's ports).

When ready it prints one line: "rtsp-server: rtsp://ADDRESS:PORT".
"""

import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402

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
# GStreamer's own MPEG-4 encoder leaves the payloader without a configuration, so nothing is
# sent; files made by ffmpeg carry theirs.
def mpeg4_from_file(path):
    return f"filesrc location={path} ! qtdemux ! rtpmp4vpay name=pay0 pt=96"


AUDIO = (
    "audiotestsrc is-live=true wave=sine freq=440 ! audio/x-raw,rate=8000,channels=1 "
    "! mulawenc ! rtppcmupay name=pay1 pt=0"
)


ROLE = "viewer"
# How often expired sessions are looked for: GStreamer's pool only drops them when asked.
SESSION_CLEANUP_SECONDS = 1


MULTICAST_FIRST, MULTICAST_LAST = "239.255.42.1", "239.255.42.10"
MULTICAST_PORTS = (5000, 5099)
MULTICAST_TTL = 1


def multicast_only(factory):
    pool = GstRtspServer.RTSPAddressPool()
    pool.add_range(MULTICAST_FIRST, MULTICAST_LAST, *MULTICAST_PORTS, MULTICAST_TTL)
    factory.set_address_pool(pool)
    factory.set_protocols(GstRtsp.RTSPLowerTrans.UDP_MCAST)


def make_factory(video, audio, protected, multicast=False):
    factory = GstRtspServer.RTSPMediaFactory()
    launch = f"( {video} {AUDIO} )" if audio else f"( {video} )"
    factory.set_launch(launch)
    factory.set_shared(True)
    if multicast:
        multicast_only(factory)
    if protected:
        permissions = GstRtspServer.RTSPPermissions()
        permissions.add_permission_for_role(ROLE, "media.factory.access", True)
        permissions.add_permission_for_role(ROLE, "media.factory.construct", True)
        factory.set_permissions(permissions)
    return factory


def make_auth(method, user, password):
    auth = GstRtspServer.RTSPAuth()
    token = GstRtspServer.RTSPToken()
    token.set_string("media.factory.role", ROLE)
    if method == "digest":
        auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
        auth.add_digest(user, password, token)
    else:
        auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(user, password), token)
    return auth


def limit_sessions(server, seconds):
    def on_session(client, session):
        session.set_timeout(seconds)

    server.connect("client-connected",
                   lambda _server, client: client.connect("new-session", on_session))
    pool = server.get_session_pool()
    GLib.timeout_add_seconds(SESSION_CLEANUP_SECONDS, lambda: pool.cleanup() >= 0)


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


def serve(args):
    server = GstRtspServer.RTSPServer()
    server.set_address(args.listen)
    server.set_service(str(args.port))
    if args.auth:
        server.set_auth(make_auth(args.auth, args.user, args.password))
    if args.session_timeout:
        limit_sessions(server, args.session_timeout)
    mounts = server.get_mount_points()
    audio = not args.no_audio
    protected, multicast = bool(args.auth), args.multicast
    mounts.add_factory("/h264", make_factory(H264, audio, protected, multicast))
    mounts.add_factory("/jpeg", make_factory(JPEG, audio, protected, multicast))
    if args.mpeg4_file:
        mounts.add_factory("/mpeg4", make_factory(mpeg4_from_file(args.mpeg4_file), False,
                                                  protected, multicast))
    if server.attach(None) == 0:
        print(f"rtsp-server: cannot listen on {args.listen}:{args.port}", file=sys.stderr)
        return 1
    print(f"rtsp-server: rtsp://{args.listen}:{server.get_bound_port()}", flush=True)
    GLib.MainLoop().run()
    return 0


def main():
    parser = argparse.ArgumentParser(description="RTSP server for interop tests")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-audio", action="store_true")
    parser.add_argument("--reference", metavar="FILE")
    parser.add_argument("--auth", choices=["basic", "digest"])
    parser.add_argument("--user", default="admin")
    parser.add_argument("--pass", dest="password", default="secret")
    parser.add_argument("--session-timeout", type=int, default=0)
    parser.add_argument("--mpeg4-file", metavar="FILE")
    parser.add_argument("--listen", metavar="ADDR", default=ADDRESS)
    parser.add_argument("--multicast", action="store_true")
    args = parser.parse_args()
    Gst.init(None)
    if args.reference:
        return write_reference(args.reference)
    return serve(args)


if __name__ == "__main__":
    sys.exit(main())
