"""Standard HTTP servers on loopback for the command channel: lighttpd with Basic and Digest
locations and a CGI that answers in parts, and Python's CGI server. Each is started on a free
127.0.0.1 port with files written into a temporary folder, and ended by the PID it was given.
Shared by the interop test and the command-channel benchmark."""

import hashlib
import os
import shutil
import socket
import subprocess
import time

LIGHTTPD = shutil.which("lighttpd", path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
DEBIAN_PYTHON = "/usr/bin/python3"  # has http.server --cgi (removed from later Pythons)
LIGHTTPD_MODULES = "/usr/lib/lighttpd"

USER = "operator"
PASSWORD = "s3cret pass"
REALM = "vexa camera"
STATIC_BODY = "static body\n"
BASIC_BODY = "behind basic\n"
DIGEST_BODY = "behind digest\n"
CGI_PARTS = ["part one\n", "part two\n", "part three\n"]
CGI_PAUSE_SECONDS = 0.2
ZOOM_BODY = "zoomposition=789"
START_SECONDS = 10

LIGHTTPD_CONF = """
server.document-root = "{root}/www"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{root}/lighttpd-error.log"
server.modules = ("mod_auth", "mod_authn_file", "mod_cgi")
server.max-keep-alive-requests = 0
# CGI output goes out as it comes: without a length, in chunks.
server.stream-response-body = 2
mimetype.assign = (".txt" => "text/plain")
auth.backend = "htdigest"
auth.backend.htdigest.userfile = "{root}/htdigest"
auth.require = (
  "/basic/" => ("method" => "basic", "realm" => "{realm}", "require" => "valid-user"),
  "/digest/" => ("method" => "digest", "realm" => "{realm}", "require" => "valid-user",
                 "algorithm" => "MD5"),
)
$HTTP["url"] =~ "^/cgi-bin/" {{
  cgi.assign = (".cgi" => "")
}}
"""

CGI_SCRIPT = """#!/bin/sh
printf 'Content-Type: text/plain\\r\\n\\r\\n'
{parts}
"""

ZOOM_SCRIPT = """#!{python}
import sys
sys.stdout.write("Content-Type: text/plain\\n\\n{body}")
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write(path, text, executable=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    if executable:
        os.chmod(path, 0o755)


def wait_listening(port, process, seconds=START_SECONDS):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def end(process):
    """Ends a server this module started, by its own PID."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def lighttpd_missing():
    """Why lighttpd cannot run here; None when it can."""
    if not LIGHTTPD:
        return "lighttpd is not installed (scripts/install-deps.sh installs it)"
    for module in ("mod_auth", "mod_authn_file", "mod_cgi"):
        if not os.path.exists(os.path.join(LIGHTTPD_MODULES, module + ".so")):
            return f"lighttpd module {module} is missing"
    return None


def python_cgi_missing():
    if not os.access(DEBIAN_PYTHON, os.X_OK):
        return f"{DEBIAN_PYTHON} is missing"
    return None


def start_lighttpd(root):
    """lighttpd -D on a free port, serving files written under root; (process, port)."""
    for attempt in range(3):
        port = free_port()
        write(f"{root}/www/static.txt", STATIC_BODY)
        write(f"{root}/www/basic/secret.txt", BASIC_BODY)
        write(f"{root}/www/digest/secret.txt", DIGEST_BODY)
        parts = f"\nsleep {CGI_PAUSE_SECONDS}\n".join(
            f"printf '{part.rstrip()}\\n'" for part in CGI_PARTS)
        write(f"{root}/www/cgi-bin/parts.cgi", CGI_SCRIPT.format(parts=parts), executable=True)
        ha1 = hashlib.md5(f"{USER}:{REALM}:{PASSWORD}".encode()).hexdigest()
        write(f"{root}/htdigest", f"{USER}:{REALM}:{ha1}\n")
        conf = f"{root}/lighttpd.conf"
        write(conf, LIGHTTPD_CONF.format(root=root, port=port, realm=REALM))
        process = subprocess.Popen([LIGHTTPD, "-D", "-m", LIGHTTPD_MODULES, "-f", conf],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if wait_listening(port, process):
            return process, port
        end(process)
    raise RuntimeError("lighttpd did not start: " + read_log(f"{root}/lighttpd-error.log"))


def start_python_cgi(root):
    """python3 -m http.server --cgi on a free port, with cgi-bin/zoom.py; (process, port)."""
    # Run as root, the server drops to nobody for the script, which must reach it.
    os.chmod(root, 0o755)
    write(f"{root}/py/cgi-bin/zoom.py", ZOOM_SCRIPT.format(python=DEBIAN_PYTHON, body=ZOOM_BODY),
          executable=True)
    for attempt in range(3):
        port = free_port()
        process = subprocess.Popen(
            [DEBIAN_PYTHON, "-m", "http.server", "--cgi", "--bind", "127.0.0.1", str(port)],
            cwd=f"{root}/py", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if wait_listening(port, process):
            return process, port
        end(process)
    raise RuntimeError("python3 -m http.server --cgi did not start")


def read_log(path):
    try:
        with open(path) as f:
            return f.read()[-2000:]
    except OSError:
        return "(no log)"
