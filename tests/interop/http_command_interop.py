#!/usr/bin/python3
"""vexa-viewer --command against standard HTTP servers on loopback.

  http_command_interop.py VIEWER

lighttpd: a static file, one behind Basic and one behind Digest (MD5, qop=auth), and a CGI that
answers in parts with pauses between them (chunked): status 200 and the exact body each, and a
wrong password refused (exit 1). Python's CGI server (HTTP/1.0, LF-only CGI headers, the body
read to the close): status 200 and the body. A missing server is skipped with the reason.
"""

import contextlib
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_peers as peers  # noqa: E402

VIEWER_SECONDS = 30
TIMEOUT_MS = "5000"
SKIPPED = 77  # ctest's SKIP_RETURN_CODE: no server to talk to


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   {name}")
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}")

    def skip(self, name, why):
        self.skipped += 1
        print(f"SKIP {name}: {why}")


def body_of(answer):
    """The body after the first blank line, CRLF or LF alike."""
    ends = [(answer.find(sep), len(sep)) for sep in ("\r\n\r\n", "\n\n") if sep in answer]
    if not ends:
        return None
    at, length = min(ends)
    return answer[at + length:]


def command(viewer, target, port, user=None, password=None):
    args = [viewer, "--command", target, f"127.0.0.1:{port}", "--timeout", TIMEOUT_MS]
    if user is not None:
        args += ["--user", user, "--pass", password]
    run = subprocess.run(args, capture_output=True, timeout=VIEWER_SECONDS)
    return run.returncode, run.stdout.decode("latin-1"), run.stderr.decode("latin-1")


def expect_body(results, viewer, name, port, target, body, user=None, password=None,
                header=None):
    code, out, err = command(viewer, target, port, user, password)
    status_line = out.split("\r\n", 1)[0]
    results.check(f"{name}: exit 0", code == 0, f"exit {code}, {err.strip()}")
    results.check(f"{name}: status 200", " 200 " in status_line + " ", repr(status_line))
    results.check(f"{name}: body", body_of(out) == body, repr(body_of(out)))
    if header:
        head = out[: len(out) - len(body_of(out) or "")]
        results.check(f"{name}: {header}", header.lower() in head.lower(), repr(head))


@contextlib.contextmanager
def serving(results, name, why_missing, start, root):
    """The port of a peer started for the checks inside, ended after them; None when skipped."""
    why = why_missing()
    if why:
        results.skip(name, why)
        yield None
        return
    process, port = start(root)
    try:
        yield port
    finally:
        peers.end(process)


def lighttpd_checks(results, viewer, root):
    with serving(results, "lighttpd", peers.lighttpd_missing, peers.start_lighttpd, root) as port:
        if port is None:
            return
        expect_body(results, viewer, "static", port, "/static.txt", peers.STATIC_BODY)
        for scheme, body in (("basic", peers.BASIC_BODY), ("digest", peers.DIGEST_BODY)):
            target = f"/{scheme}/secret.txt"
            expect_body(results, viewer, scheme, port, target, body, peers.USER, peers.PASSWORD)
            code, out, err = command(viewer, target, port, peers.USER, "wrong")
            results.check(f"{scheme}, wrong password: exit 1", code == 1, f"exit {code}")
            results.check(f"{scheme}, wrong password: told", "answered 401" in err, err.strip())
        expect_body(results, viewer, "chunked CGI", port, "/cgi-bin/parts.cgi?zoom=1",
                    "".join(peers.CGI_PARTS), header="Transfer-Encoding: chunked")
        if results.failed:
            print(peers.read_log(f"{root}/lighttpd-error.log"))


def python_cgi_checks(results, viewer, root):
    with serving(results, "python http.server --cgi", peers.python_cgi_missing,
                 peers.start_python_cgi, root) as port:
        if port is not None:
            expect_body(results, viewer, "python CGI", port, "/cgi-bin/zoom.py?query=zoom",
                        peers.ZOOM_BODY)


def main():
    viewer = sys.argv[1]
    results = Results()
    with tempfile.TemporaryDirectory(prefix="vexa-http-interop-") as root:
        lighttpd_checks(results, viewer, root)
        python_cgi_checks(results, viewer, root)
    print(f"http_command_interop: {results.passed} passed, {results.failed} failed, "
          f"{results.skipped} skipped")
    if results.failed:
        return 1
    return SKIPPED if results.passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
