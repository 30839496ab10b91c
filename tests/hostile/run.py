#!/usr/bin/python3
"""Hostile cameras: each case puts a proxy between vexa-viewer and vexa-camera on loopback that
plays one class of broken or malicious input for a phase, then relays the camera's own stream.

  run.py --viewer VIEWER --camera CAMERA [--soak] [--phase S] [--valid S] [--case NAME]...

A case passes when the picture comes back after the phase and is still there at the end, and the
viewer, asked to quit as Ctrl-C would once the valid stream has played --valid seconds (its
--duration ends it otherwise), ends in time with status 0 and no sanitizer report.

Figures: the seconds from the valid stream's return (on the proxy's clock) to the viewer's first
picture after it (the line it prints, read on the same clock; where pictures came during the
phase too, the statistics lines bound it to their second); the viewer's peak RSS (VmHWM) at the
end of the phase and its CPU time (utime + stime) over the phase, from /proc.

--soak also runs each stream on its own (the camera relayed from the start, for as long) and,
where the hostile input came faster than that, the camera's recorded stream replayed at the
hostile byte rate; and holds every case to its goals: picture back within 2 s, RSS growth under
16 MiB beside the valid run, CPU at most twice that of the valid stream at the same byte rate.
A valid stream slower than the camera's own shows nothing to compare, so the reference never
runs slower than the camera.
"""
import argparse
import os
import sys
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cases import CASES, FAMILIES, MJPEG, replay_case, valid_case  # noqa: E402
from mjpeg import MjpegProxy  # noqa: E402
from processes import Camera, ViewerRun  # noqa: E402
from proxy import Timeline  # noqa: E402
from rtsp import RtspProxy  # noqa: E402

TEST_PHASE_S = 3.0
SOAK_PHASE_S = 60.0
VALID_S = 4.5
LEAD_S = 8.0  # what the viewer may take to start and connect, on top of its phase and valid time
END_GRACE_S = 10.0
WAIT_STEP_S = 0.1
STATS_PERIOD_S = 1.0
REFERENCE_MAX_S = 15.0
FASTER_THAN_CAMERA = 1.25
MIN_CPU_RATE = 0.01  # below it a reference is the idle viewer: nothing to divide by
MIB = 1024.0

GOAL_BACK_S = 2.0
GOAL_RSS_MIB = 16.0
GOAL_CPU_RATIO = 2.0


@dataclass
class Outcome:
    name: str
    problems: list = field(default_factory=list)
    back_s: float = None
    back_exact: bool = True  # False: a bound from the statistics lines, to their second
    cpu_rate: float = None  # CPU seconds per second over the measured window
    peak_kib: int = None
    byte_rate: float = 0.0  # bytes per second the viewer was sent in the window
    connections: int = 0
    shown_in_phase: bool = False  # pictures came while the hostile input did
    valid_s: float = VALID_S  # how long the valid stream played after the phase


def start_proxy(case, camera, timeline, recording):
    kind = MjpegProxy if case.protocol == MJPEG else RtspProxy
    return kind(camera.port_for(case.protocol), case, timeline, recording)


def run_case(args, case, window_s, recording=None):
    """Plays case once with a fresh camera, proxy and viewer; its Outcome."""
    backstop_s = LEAD_S + window_s + args.valid
    try:
        camera = Camera(args.camera, backstop_s + END_GRACE_S)
    except RuntimeError as error:
        return Outcome(case.name, problems=[str(error)])
    timeline = Timeline(window_s, case.one_shot)
    proxy = start_proxy(case, camera, timeline, recording)
    try:
        viewer = ViewerRun(args.viewer, case.protocol, f"127.0.0.1:{proxy.port}{case.path}",
                           backstop_s)
        timeline.watch = viewer.watch
        wait_for_valid_time(viewer, timeline, window_s, args.valid, backstop_s)
        viewer.end(END_GRACE_S)
    finally:
        timeline.stopping.set()
        proxy.close()
        camera.stop()
    return assess(case, viewer, timeline, args.valid)


def wait_for_valid_time(viewer, timeline, window_s, valid_s, backstop_s):
    """Until the valid stream has played valid_s after the phase and the measured window is
    over, or the viewer ended (by itself, or its --duration being over)."""
    latest = viewer.started + backstop_s + END_GRACE_S
    while viewer.running() and time.monotonic() < latest:
        if timeline.valid_start is not None and timeline.phase_start is not None:
            stop_at = max(timeline.valid_start + valid_s,
                          timeline.phase_start + window_s + STATS_PERIOD_S / 2)
            if time.monotonic() >= stop_at:
                return
        time.sleep(WAIT_STEP_S)


def picture_back(viewer, valid_start):
    """(seconds from the valid stream's return to the first picture after it, whether to the
    millisecond), or (None, True). Where pictures came during the phase as well, the statistics
    lines tell, to their second: the figure is then the most it can be."""
    first = viewer.first_picture_at()
    if first is None or valid_start is None:
        return None, True
    if first >= valid_start:
        return first - valid_start, True
    rates = viewer.rates()
    before = [shown for when, _, shown in rates if when <= valid_start]
    after = [(when, shown) for when, _, shown in rates if when > valid_start]
    if before and before[-1] > 0 and after and after[0][1] > 0:
        return 0.0, True  # it never went
    return next((when - valid_start for when, shown in after if shown > 0), None), False


def assess(case, viewer, timeline, valid_s):
    outcome = Outcome(case.name, connections=timeline.connections, valid_s=valid_s)
    if viewer.killed:
        outcome.problems.append("did not end in time and was killed")
    elif viewer.status != 0:
        outcome.problems.append(f"exit status {viewer.status}")
    report = viewer.sanitizer_report()
    if report:
        outcome.problems.append("sanitizer: " + report[0].strip())
    valid_start, first = timeline.valid_start, viewer.first_picture_at()
    outcome.back_s, outcome.back_exact = picture_back(viewer, valid_start)
    outcome.shown_in_phase = None not in (first, valid_start) and first < valid_start
    rates = viewer.rates()
    # Only a statistics line a whole period after the first picture can tell it stopped.
    settled = [rate for rate in rates if first is not None and rate[0] > first + STATS_PERIOD_S]
    if outcome.back_s is None:
        outcome.problems.append(f"no picture in the {valid_s:g} s after the hostile phase")
    elif settled and settled[-1][2] == 0:
        outcome.problems.append("the picture came back but stopped again")
    if outcome.problems and rates:
        outcome.problems.append("last statistics: %d pictures received, %d shown a second" %
                                rates[-1][1:])
    start, end = timeline.snapshots.get("start"), timeline.snapshots.get("end")
    if start and end and end.when > start.when:
        outcome.cpu_rate = (end.cpu_s - start.cpu_s) / (end.when - start.when)
        outcome.peak_kib = end.peak_kib
    if timeline.window_s > 0:
        outcome.byte_rate = timeline.window_bytes / timeline.window_s
    if outcome.problems:
        errors = viewer.error_lines()
        outcome.problems += [f"stderr: {line}" for line in errors[-3:]]
    return outcome


# ---- reporting ----

def mebibytes(kib):
    return None if kib is None else kib / MIB


def seconds_back(outcome, unit=""):
    if outcome.back_s is None:
        return f">{outcome.valid_s:g}{unit}"
    return ("" if outcome.back_exact else "<=") + f"{outcome.back_s:.2f}{unit}"


def figure(value, form, missing="-"):
    return missing if value is None else form.format(value)


def test_line(outcome):
    verdict = "FAIL" if outcome.problems else "ok"
    return (f"{verdict:4} {outcome.name}: picture back {seconds_back(outcome, ' s')}, "
            f"{outcome.byte_rate / 1e6:.2f} MB/s sent in the phase, "
            f"CPU {figure(outcome.cpu_rate, '{:.2f} s/s')}, "
            f"peak RSS {figure(mebibytes(outcome.peak_kib), '{:.0f} MiB')}, "
            f"{outcome.connections} connection(s)"
            f"{'; pictures during the phase too' if outcome.shown_in_phase else ''}")


def phase_of(case, args):
    """Seconds of hostile input, or for a one-shot case the span measured after its shot (none
    when only the picture counts)."""
    if case.phase_s is not None:
        return case.phase_s
    return 0.0 if case.one_shot and not args.soak else args.phase


def run_tests(args, cases):
    failed = 0
    for case in cases:
        outcome = run_case(args, case, phase_of(case, args))
        print(test_line(outcome), flush=True)
        for problem in outcome.problems:
            print(f"       {problem}", flush=True)
        failed += bool(outcome.problems)
    print(f"hostile cameras: {len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


@dataclass
class Baseline:
    outcome: Outcome
    recording: list


def reference_cpu_rate(args, case, outcome, baseline, phase):
    """CPU seconds per second of a valid stream at the hostile byte rate, and that rate."""
    natural = baseline.outcome.byte_rate
    if outcome.byte_rate <= natural * FASTER_THAN_CAMERA or not baseline.recording:
        return baseline.outcome.cpu_rate, natural
    window = min(phase, REFERENCE_MAX_S)
    reference = run_case(args, replay_case(case.protocol, baseline.recording, outcome.byte_rate),
                         window)
    return reference.cpu_rate, reference.byte_rate


def soak_row(case, outcome, baseline, reference):
    ref_rate, ref_bytes = reference
    growth = None
    if outcome.peak_kib is not None and baseline.outcome.peak_kib is not None:
        growth = (outcome.peak_kib - baseline.outcome.peak_kib) / MIB
    ratio = None
    if outcome.cpu_rate is not None and ref_rate is not None:
        ratio = outcome.cpu_rate / max(ref_rate, MIN_CPU_RATE)
    missed = list(outcome.problems)
    if outcome.back_s is not None and outcome.back_s > GOAL_BACK_S:
        missed.append(f"picture back after {outcome.back_s:.2f} s > {GOAL_BACK_S} s")
    if growth is not None and growth >= GOAL_RSS_MIB:
        missed.append(f"RSS grew {growth:.1f} MiB >= {GOAL_RSS_MIB} MiB")
    if ratio is not None and ratio > GOAL_CPU_RATIO:
        missed.append(f"CPU {ratio:.2f}x > {GOAL_CPU_RATIO}x")
    verdict = "FAIL" if missed else "ok"
    print(f"{case.name:28} {seconds_back(outcome):>7} "
          f"{figure(growth, '{:+9.1f}'):>9} {figure(ratio, '{:7.2f}'):>7} "
          f"{outcome.byte_rate / 1e6:10.3f} {ref_bytes / 1e6:10.3f} "
          f"{figure(outcome.cpu_rate, '{:6.2f}'):>6} {figure(ref_rate, '{:6.2f}'):>6} "
          f"{outcome.connections:5}  {verdict}", flush=True)
    for problem in missed:
        print(f"{'':29}{problem}", flush=True)
    return not missed


def run_soak(args, cases):
    print(f"Soak: {args.phase:g} s of hostile input a case, then {args.valid:g} s of the "
          "camera's stream (640x480, 15 pictures a second).")
    baselines = {}
    for protocol in dict.fromkeys(case.protocol for case in cases):
        recording = []
        outcome = run_case(args, valid_case(protocol), args.phase, recording)
        baselines[protocol] = Baseline(outcome, recording)
        print(f"valid {FAMILIES[protocol]}: {outcome.byte_rate / 1e6:.3f} MB/s, "
              f"CPU {figure(outcome.cpu_rate, '{:.3f} s/s')}, peak RSS "
              f"{figure(mebibytes(outcome.peak_kib), '{:.1f} MiB')}"
              f"{'; ' + '; '.join(outcome.problems) if outcome.problems else ''}", flush=True)
    print(f"\n{'case':28} {'back s':>7} {'RSS MiB':>9} {'CPU x':>7} {'MB/s':>10} {'ref MB/s':>10} "
          f"{'CPU':>6} {'ref':>6} {'conn':>5}  result")
    passed = 0
    for case in cases:
        baseline = baselines[case.protocol]
        phase = phase_of(case, args)
        outcome = run_case(args, case, phase)
        reference = reference_cpu_rate(args, case, outcome, baseline, phase)
        passed += soak_row(case, outcome, baseline, reference)
    print(f"\nGoals: picture back within {GOAL_BACK_S:.0f} s of the valid stream, RSS growth under "
          f"{GOAL_RSS_MIB:.0f} MiB beside the valid run, CPU at most {GOAL_CPU_RATIO:.0f}x a valid "
          "stream of the same byte rate (CPU and ref: CPU seconds a second).")
    print(f"hostile cameras (soak): {passed} met the goals, {len(cases) - passed} did not")
    return 0 if passed == len(cases) else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--camera", required=True)
    parser.add_argument("--soak", action="store_true", help="long phases, measured against "
                        "valid streams, held to the goals")
    parser.add_argument("--phase", type=float, help="seconds of hostile input a case")
    parser.add_argument("--valid", type=float, default=VALID_S,
                        help="seconds of the valid stream after the phase")
    parser.add_argument("--case", action="append", help="run only this case (repeatable)")
    parser.add_argument("--list", action="store_true", help="name the cases and stop")
    args = parser.parse_args()
    if args.list:
        print("\n".join(case.name for case in CASES))
        return 0
    if args.phase is None:
        args.phase = SOAK_PHASE_S if args.soak else TEST_PHASE_S
    known = CASES + [valid_case(protocol) for protocol in FAMILIES]
    cases = [case for case in known if case.name in args.case] if args.case else CASES
    unknown = set(args.case or []) - {case.name for case in known}
    if unknown:
        parser.error(f"no case named {', '.join(sorted(unknown))} (see --list)")
    return run_soak(args, cases) if args.soak else run_tests(args, cases)


if __name__ == "__main__":
    sys.exit(main())
