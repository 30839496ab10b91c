#!/usr/bin/python3
"""The command channel beside curl on the same lighttpd, in the same run: COUNT requests, a new
connection each, to a static file and to one behind Basic. Rate (requests per wall second) and
CPU per request (user + system of the whole client process, measured from outside) for both,
and their ratios; then the longest user-interface call the channel made and how long a handler
takes to go away while its name look-up hangs. Figures only, never judged.

  command_channel.py --bench BENCH_PROGRAM [--count N]
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "interop"))
import http_peers as peers  # noqa: E402

RATE_RATIO_GOAL = 0.5
CPU_RATIO_GOAL = 2.0
DESTRUCTION_GOAL_MS = 200
HUNG_ROUNDS = 5
RUN_SECONDS = 600


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def measured(args, **kwargs):
    """Runs a client to its end: (wall seconds, CPU seconds, stdout)."""
    cpu, wall = children_cpu(), time.monotonic()
    run = subprocess.run(args, capture_output=True, text=True, timeout=RUN_SECONDS, **kwargs)
    wall, cpu = time.monotonic() - wall, children_cpu() - cpu
    if run.returncode != 0:
        raise RuntimeError(f"{args[0]} failed ({run.returncode}): {run.stderr.strip()[:500]}")
    return wall, cpu, run.stdout


def figures(text):
    return dict(line.split("=", 1) for line in text.split() if "=" in line)


def curl_run(port, path, count, root, credentials):
    """One curl for all the URLs, each written to /dev/null, each on a connection of its own."""
    config = os.path.join(root, "curl.conf")
    with open(config, "w") as f:
        for i in range(count):
            f.write(f'url = "http://127.0.0.1:{port}{path}?n={i}"\noutput = "/dev/null"\n')
    args = ["curl", "-s", "-H", "Connection: close", "-K", config]
    if credentials:
        args += ["-u", ":".join(credentials)]
    wall, cpu, _ = measured(args)
    return wall, cpu


def compare(bench, port, path, count, root, credentials):
    extra = list(credentials) if credentials else []
    wall, cpu, out = measured([bench, "requests", str(port), f"{path}?n=0", str(count)] + extra)
    ours = figures(out)
    curl_wall, curl_cpu = curl_run(port, path, count, root, credentials)
    rate, curl_rate = count / wall, count / curl_wall
    per, curl_per = cpu / count * 1e6, curl_cpu / count * 1e6
    print(f"\nCommand channel, {count} requests to {path} (a new connection each):")
    print(f"  vexa  {rate:8.0f} requests/s  {per:7.1f} us CPU/request  "
          f"failures {ours.get('failures')}")
    print(f"  curl  {curl_rate:8.0f} requests/s  {curl_per:7.1f} us CPU/request")
    print(f"  ratios: rate {rate / curl_rate:.2f} (goal >= {RATE_RATIO_GOAL}), "
          f"CPU {per / curl_per:.2f} (goal <= {CPU_RATIO_GOAL})")
    print(f"  longest user-interface call, us: Request {ours.get('longest_request_us')}, "
          f"GetStatus {ours.get('longest_get_status_us')}, "
          f"GetResponse {ours.get('longest_get_response_us')}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--count", type=int, default=2000)
    options = parser.parse_args()

    _, _, out = measured([options.bench, "hung-lookup", str(HUNG_ROUNDS)])
    hung = figures(out)
    print(f"\nCommand channel, handler destroyed during a hung name look-up "
          f"(longest of {HUNG_ROUNDS}): {hung.get('longest_destruction_ms')} ms "
          f"(goal <= {DESTRUCTION_GOAL_MS} ms)")

    why = peers.lighttpd_missing()
    if why:
        print(f"Command channel beside curl skipped: {why}")
        return 0
    with tempfile.TemporaryDirectory(prefix="vexa-bench-http-") as root:
        process, port = peers.start_lighttpd(root)
        try:
            compare(options.bench, port, "/static.txt", options.count, root, None)
            compare(options.bench, port, "/basic/secret.txt", options.count, root,
                    (peers.USER, peers.PASSWORD))
        finally:
            peers.end(process)
    return 0


if __name__ == "__main__":
    sys.exit(main())
