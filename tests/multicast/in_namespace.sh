#!/usr/bin/env bash
# Runs a test program inside a network namespace of its own holding only loopback, with the
# multicast range routed to it, so that no group traffic can leave the machine. Exits 77 (skipped)
# with the reason when namespaces cannot be made here.
set -euo pipefail
program=$1
if ! command -v ip >/dev/null; then
  echo "skipped: the ip command is missing (scripts/install-deps.sh installs iproute2)" >&2
  exit 77
fi
if ! unshare --net true 2>/dev/null; then
  echo "skipped: no network namespace can be made here (needs root or CAP_SYS_ADMIN)" >&2
  exit 77
fi
exec unshare --net bash -c '
  if ! ip link set lo up || ! ip route add 224.0.0.0/4 dev lo src 127.0.0.1; then
    echo "skipped: loopback cannot be set up in the new namespace" >&2
    exit 77
  fi
  VEXA_IN_NETNS=1 exec "$0"' "$program"
