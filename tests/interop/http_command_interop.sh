#!/usr/bin/env bash
# vexa-viewer --command against lighttpd and Python's CGI server; the checks live in
# http_command_interop.py. Debian's python3 is named outright: it still has http.server --cgi.
set -u
viewer=${1:?usage: http_command_interop.sh VIEWER}
if [ ! -x /usr/bin/python3 ]; then
  echo "SKIP: /usr/bin/python3 is missing (scripts/install-deps.sh installs it)"
  exit 77
fi
exec /usr/bin/python3 "$(dirname "$0")/http_command_interop.py" "$viewer"
