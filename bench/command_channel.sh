#!/usr/bin/env bash
# The command channel beside curl on lighttpd (rate, CPU per request, ratios), its longest
# user-interface call and its destruction during a hung look-up.
#
# usage: bench/command_channel.sh [BUILD_DIR] [--count N]
#
# Prints why and exits 0 when something it needs is missing, so bench/run.sh can always call it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/bench}
shift || true
bench="$build/bench/bench_command_channel"
python=/usr/bin/python3

skip() {
  echo "Command-channel benchmark skipped: $1"
  exit 0
}

[ -x "$bench" ] || skip "no $bench (build the bench_command_channel target)"
[ -x "$python" ] || skip "$python missing"
command -v curl > /dev/null || skip "curl missing"

exec "$python" "$here/command_channel.py" --bench "$bench" "$@"
