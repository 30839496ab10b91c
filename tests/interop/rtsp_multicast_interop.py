#!/usr/bin/python3
"""vexa-viewer's multicast MPEG-4 model (7) against GStreamer's RTSP server, which names
the group only in its answer to SETUP and sends to it from PLAY.

  rtsp_multicast_interop.py VIEWER

The server binds the group's ports itself, so it and the viewer run in two
network namespaces joined by a veth pair with the multicast range routed over
it; this script makes them and removes them. The snapshot must match ffmpeg's
own decode of the file served. Exits 77 (skipped), with the reason, where no
namespace can be made; missing GStreamer pieces are a failure, as in
rtsp_interop.py.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache beside the sources for the import below
import rtsp_interop as interop  # noqa: E402

SKIPPED = 77
SERVER_ADDRESS, VIEWER_ADDRESS, PREFIX = "10.77.0.1", "10.77.0.2", 24
MULTICAST_RANGE = "224.0.0.0/4"
PROTOCOL = 7  # multicast MPEG-4
MOUNT = "/mpeg4"


class Namespaces:
    """The server's and the viewer's namespace, the veth pair between them."""

    def __init__(self):
        tag = os.getpid() % 100000
        self.server, self.viewer = f"vexa-mcs-{tag}", f"vexa-mcv-{tag}"
        self.server_link, self.viewer_link = f"vxs{tag}", f"vxv{tag}"

    def make(self):
        """None once made, else why not."""
        veth = ["type", "veth", "peer", "name", self.viewer_link]
        steps = [["netns", "add", self.server], ["netns", "add", self.viewer],
                 ["link", "add", self.server_link, *veth],
                 ["link", "set", self.server_link, "netns", self.server],
                 ["link", "set", self.viewer_link, "netns", self.viewer]]
        for space, link, address in [(self.server, self.server_link, SERVER_ADDRESS),
                                     (self.viewer, self.viewer_link, VIEWER_ADDRESS)]:
            steps += [["-n", space, "addr", "add", f"{address}/{PREFIX}", "dev", link],
                      ["-n", space, "link", "set", link, "up"],
                      ["-n", space, "link", "set", "lo", "up"],
                      ["-n", space, "route", "add", MULTICAST_RANGE, "dev", link]]
        for step in steps:
            done = subprocess.run(["ip", *step], capture_output=True, text=True)
            if done.returncode != 0:
                return f"'ip {' '.join(step)}' failed: {done.stderr.strip()}"
        return None

    def remove(self):
        # The veth pair goes with the namespaces.
        for space in (self.server, self.viewer):
            subprocess.run(["ip", "netns", "del", space], capture_output=True)

    def run_in(self, space):
        return ["ip", "netns", "exec", space]


def start_server(spaces, mpeg4_file, work):
    log = open(os.path.join(work, "server.txt"), "w")
    server = subprocess.Popen(
        spaces.run_in(spaces.server) +
        [interop.PYTHON, interop.SERVER, "--listen", SERVER_ADDRESS, "--port", "0", "--multicast",
         "--no-audio", "--mpeg4-file", mpeg4_file],
        stdout=subprocess.PIPE, stderr=log, text=True)
    return interop.wait_for_server(server)


def play(spaces, viewer, port, snapshot):
    command = spaces.run_in(spaces.viewer) + [
        viewer, "--protocol", str(PROTOCOL), "--headless", "--stats",
        "--duration", str(interop.PLAY_SECONDS), "--snapshot", snapshot,
        f"{SERVER_ADDRESS}:{port}{MOUNT}"]
    environment = dict(os.environ, SDL_AUDIODRIVER="dummy")
    try:
        run = subprocess.run(command, capture_output=True, text=True, env=environment,
                             timeout=interop.PLAY_SECONDS + interop.VIEWER_GRACE_SECONDS)
    except subprocess.TimeoutExpired:
        return None, "", "timed out"
    return run.returncode, run.stdout, run.stderr


def check(results, spaces, viewer, port, decoded, work):
    snapshot = os.path.join(work, "multicast.png")
    status, out, err = play(spaces, viewer, port, snapshot)
    lines = [line for line in out.splitlines() if line.startswith("Url:")]
    last = lines[-1] if lines else "(no statistics line)"
    problems = []
    if status != 0:
        problems.append(f"exit status {status}: {err.strip()[-500:]}")
    size = f"Video size: {interop.WIDTH} x {interop.HEIGHT}"
    if not any("MP4V-ES/90000" in line and size in line for line in lines):
        problems.append(f"no statistics line shows MP4V-ES at {size}; last: {last}")
    picture = interop.read_bgr(snapshot) if os.path.exists(snapshot) else b""
    if len(picture) != interop.PICTURE_BYTES or len(decoded) != interop.PICTURE_BYTES:
        problems.append(f"snapshot {len(picture)} bytes, ffmpeg's decode {len(decoded)}")
    else:
        quality = interop.psnr(picture, decoded)
        print(f"    PSNR against ffmpeg's decode of the file {quality:.1f} dB")
        if quality < interop.MIN_MPEG4_PSNR:
            problems.append(f"PSNR {quality:.1f} dB < {interop.MIN_MPEG4_PSNR}")
    results.check("multicast MPEG-4 set up at the server's group plays the file as ffmpeg "
                  "decodes it", problems)


def main():
    if len(sys.argv) != 2:
        print("usage: rtsp_multicast_interop.py VIEWER", file=sys.stderr)
        return 2
    viewer = sys.argv[1]
    results = interop.Results()
    missing = interop.missing_prerequisites()
    if missing:
        results.check("prerequisites installed", [f"missing: {', '.join(missing)} "
                                                  "(scripts/install-deps.sh installs them)"])
        print(f"rtsp_multicast_interop: {results.passed} passed, {results.failed} failed")
        return 1
    if shutil.which("ip") is None:
        print("skipped: the ip command is missing (scripts/install-deps.sh installs iproute2)")
        return SKIPPED

    spaces = Namespaces()
    why = spaces.make()
    if why is not None:
        spaces.remove()
        print(f"skipped: no network namespaces here (needs root or CAP_SYS_ADMIN): {why}")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="vexa-mcast-interop-")
    server = None
    try:
        reference_path = os.path.join(work, "reference.bgr")
        subprocess.run([interop.PYTHON, interop.SERVER, "--reference", reference_path], check=False)
        mpeg4_file, decoded = (interop.make_mpeg4_file(reference_path, work)
                               if os.path.exists(reference_path) else (None, b""))
        if mpeg4_file is not None:
            server, port = start_server(spaces, mpeg4_file, work)
        if server is None:
            log = open(os.path.join(work, "server.txt")).read()[-2000:] if mpeg4_file else ""
            results.check("the file is made and the server starts", [f"server: {log}"])
        else:
            check(results, spaces, viewer, port, decoded, work)
    finally:
        if server is not None:
            interop.stop_server(server)
        spaces.remove()
        shutil.rmtree(work, ignore_errors=True)
    print(f"rtsp_multicast_interop: {results.passed} passed, {results.failed} failed")
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
