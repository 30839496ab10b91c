#!/usr/bin/python3
"""RTSP server for the whole-process benchmark: one mount, loopback only. H.264 from a live
encoder (1920x1080 at 30 fps by default), or with --mpeg4-file the MPEG-4 video of an MP4 file at
its own rate, which clients may also reach through the server's HTTP tunnel.

Run with Debian's /usr/bin/python3 (it has the gi bindings). Prints "ready PORT" on stdout once
clients may connect; stops on SIGINT or SIGTERM.
"""
import argparse
import signal
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402

# A moving zone plate changes every macroblock in every picture, so the encoder spends the whole
# bit rate as on a busy camera scene; is-live paces the source at the frame rate like a camera.
PIPELINE = (
    "( videotestsrc is-live=true pattern=zone-plate kx2=20 ky2=20 kt=1 "
    "! video/x-raw,width={width},height={height},framerate={fps}/1,format=I420 "
    "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max={gop} bitrate={kbps} "
    "! video/x-h264,profile=constrained-baseline "
    "! rtph264pay name=pay0 config-interval=1 pt=96 )"
)
# GStreamer's own MPEG-4 encoder leaves the payloader without a configuration; ffmpeg's files carry
# theirs. The server paces the file at its frame rate.
MPEG4_FILE = "( filesrc location={path} ! qtdemux ! rtpmp4vpay name=pay0 pt=96 )"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--mount", default="/bench")
    parser.add_argument("--width", type=int, default=1920)
    parser.add_argument("--height", type=int, default=1080)
    parser.add_argument("--fps", type=int, default=30)
    parser.add_argument("--gop", type=int, default=30, help="frames from one key frame to the next")
    parser.add_argument("--kbps", type=int, default=4000)
    parser.add_argument("--unshared", action="store_true", help="one pipeline per client")
    parser.add_argument("--transport", choices=["tcp", "udp", "http"], default="tcp",
                        help="the one lower transport the server offers (http: tunnelled TCP)")
    parser.add_argument("--mpeg4-file", metavar="FILE", help="serve this file's MPEG-4 video")
    args = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    factory = GstRtspServer.RTSPMediaFactory()
    if args.mpeg4_file:
        factory.set_launch(MPEG4_FILE.format(path=args.mpeg4_file))
    else:
        factory.set_launch(PIPELINE.format(width=args.width, height=args.height, fps=args.fps,
                                           gop=args.gop, kbps=args.kbps))
    factory.set_shared(not args.unshared)
    factory.set_protocols(GstRtsp.RTSPLowerTrans.UDP if args.transport == "udp"
                          else GstRtsp.RTSPLowerTrans.TCP)
    server.get_mount_points().add_factory(args.mount, factory)
    if server.attach(None) == 0:
        print("could not listen on 127.0.0.1:%d" % args.port, file=sys.stderr)
        return 1

    loop = GLib.MainLoop()
    for signum in (signal.SIGINT, signal.SIGTERM):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signum, loop.quit)
    print("ready %d" % server.get_bound_port(), flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
