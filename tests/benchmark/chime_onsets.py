#!/usr/bin/env python3
"""When the chime starts, on the real clock: the module's millisecond delay beside the
whole-second delay of earlier releases, over N real minute boundaries in one run.

Two copies of karvex_benchmark.exe run side by side with --onsets N, one of them with
--delay whole-second, each in a folder of its own (its own settings) and with a FIFO of its
own for the sound (captured as tests/e2e/chime_e2e.py does). Before every boundary both
start the module afresh 5 s into the minute, at a fraction of a second that walks through
the whole second over ten boundaries, as hosts started at those moments would. The onset is
the arrival of the first captured read that holds a sample above silence, less the boundary.

Usage: chime_onsets.py --build DIR --runner wine-run [--boundaries N] [--result FILE]
"""
import argparse
import array
import json
import os
import re
import select
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from chime_e2e import LOUD, HostOutput, windows_path  # noqa: E402

DELAYS = ("whole-second", "new")
GOAL_MEDIAN_S = 0.015
LINE = re.compile(r"boundary :(\d\d) armed (\d\d):(\d\d):(\d\d)\.(\d\d\d) delay (\d+) ms "
                  r"played (\d\d):(\d\d):(\d\d)\.(\d\d\d) waited (\d+) ms(.*)$")


def seconds_after(boundary, hour, minute, second):
    """A local clock reading as seconds after `boundary` (negative before it)."""
    local = time.localtime(boundary)
    offset = hour * 3600 + minute * 60 + second - (local.tm_hour * 3600 + local.tm_min * 60)
    return (offset + 43200) % 86400 - 43200


class Copy:
    """One karvex_benchmark.exe with one of the two delays."""

    def __init__(self, delay, work, bench, wav):
        self.delay, self.work = delay, work
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        for name in ("karvex_benchmark.exe", "Karvex.dll"):
            shutil.copy(os.path.join(bench, name), work)
        self.fifo = os.path.join(work, "sound.fifo")
        os.mkfifo(self.fifo)
        self.reader = os.open(self.fifo, os.O_RDWR | os.O_NONBLOCK)
        self.reads, self.wav = [], wav
        self.proc = self.output = None

    def launch(self, args):
        env = dict(os.environ, KARVEX_BUILD_DIR=args.build, KARVEX_SOUND_FILE=self.fifo)
        env.pop("WINE_RUN_SOUND", None)
        self.proc = subprocess.Popen(
            [args.runner, os.path.join(self.work, "karvex_benchmark.exe"), "--onsets",
             str(args.boundaries), "--delay", self.delay, "--wave", windows_path(self.wav)],
            cwd=self.work, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT)
        self.output = HostOutput(self.proc.stdout)
        self.output.start()

    def onset(self, boundary):
        """Seconds from `boundary` to the first loud read within half a minute of it."""
        carry = b""
        for t, data in self.reads:
            data, carry = carry + data, b""
            if len(data) % 2:
                data, carry = data[:-1], data[-1:]
            if not boundary - 30 <= t < boundary + 30:
                continue
            samples = array.array("h")
            samples.frombytes(data)
            if any(s > LOUD or s < -LOUD for s in samples):
                return t - boundary
        return None

    def boundaries(self):
        """{boundary: (armed at, delay ms, PlaySoundA call after the boundary, played,
        ms the firing waited for its boundary)}."""
        found = {}
        for t, line in self.output.lines:
            m = LINE.search(line)
            if not m:
                continue
            boundary = t - t % 60  # printed 1.5 s after it
            if int(m.group(1)) != time.localtime(boundary).tm_min:
                print("%s: line for :%s came in the minute of %s" % (self.delay, m.group(1),
                                                                     time.ctime(boundary)))
                continue
            armed = int(m.group(4)) + int(m.group(5)) / 1000
            called = seconds_after(boundary, int(m.group(7)), int(m.group(8)),
                                   int(m.group(9)) + int(m.group(10)) / 1000)
            found[boundary] = (armed, int(m.group(6)), called, not m.group(12).strip(),
                               int(m.group(11)))
        return found


def capture(copies, deadline):
    by_reader = {c.reader: c for c in copies}
    while time.time() < deadline and any(c.proc.poll() is None for c in copies):
        ready, _, _ = select.select(list(by_reader), [], [], 0.05)
        for reader in ready:
            by_reader[reader].reads.append((time.time(), os.read(reader, 1 << 16)))
    end = time.time() + 0.3  # what the last play wrote may still be in the pipe
    while time.time() < end:
        ready, _, _ = select.select(list(by_reader), [], [], 0.05)
        for reader in ready:
            by_reader[reader].reads.append((time.time(), os.read(reader, 1 << 16)))


def summary(values):
    if not values:
        return {"count": 0}
    ordered = sorted(values)
    quartiles = (statistics.quantiles(ordered, n=4, method="inclusive") if len(ordered) > 1
                 else ordered * 3)
    return {"count": len(ordered), "median": statistics.median(ordered), "min": ordered[0],
            "q1": quartiles[0], "q3": quartiles[2], "max": ordered[-1],
            "before_boundary": sum(v < 0 for v in ordered)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--boundaries", type=int, default=10)
    parser.add_argument("--result", help="write every figure to this JSON file")
    args = parser.parse_args()
    args.build, args.runner = os.path.abspath(args.build), os.path.abspath(args.runner)
    bench = os.path.join(args.build, "benchmark")
    work = os.path.join(bench, "onsets")
    os.makedirs(work, exist_ok=True)
    wav = os.path.join(work, "chime.wav")
    subprocess.run([os.path.join(ROOT, "scripts", "make-demo-chime"), wav], check=True)
    env = dict(os.environ, KARVEX_BUILD_DIR=args.build)
    subprocess.run([args.runner, os.path.join(args.build, "e2e", "sound_devices.exe")],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    copies = [Copy(delay, os.path.join(work, delay), bench, wav) for delay in DELAYS]

    # Both copies must take their first boundary in the same minute: not launched just
    # before the first arming time (5.05 s into a minute).
    second = time.time() % 60
    if 3 <= second < 7:
        time.sleep(7 - second)
    for c in copies:
        c.launch(args)
    capture(copies, time.time() + 60 * (args.boundaries + 2))
    failed = False
    for c in copies:
        if c.proc.poll() is None:
            c.proc.kill()
            failed = True
        failed |= c.proc.wait() != 0
        c.output.join(2)
        if c.proc.returncode:
            print("%s delay: exit code %s; its output:" % (c.delay, c.proc.returncode))
            for _, line in c.output.lines:
                print("  " + line)

    seen = [c.boundaries() for c in copies]
    rows, onsets, calls = [], {d: [] for d in DELAYS}, {d: [] for d in DELAYS}
    waits = {d: [] for d in DELAYS}
    print("%-19s" % "" + "".join("| %-34s " % ("%s delay" % d) for d in DELAYS))
    print("%-19s" % "boundary  armed at" +
          "".join("| %11s  %10s  %9s " % ("timer", "PlaySoundA", "sound") for d in DELAYS))
    for boundary in sorted(set(seen[0]) | set(seen[1])):
        row = {"boundary": time.strftime("%H:%M", time.localtime(boundary))}
        armed = next(found[boundary][0] for found in seen if boundary in found)
        text = "%-9s :%06.3f  " % (row["boundary"], armed)
        for c, found in zip(copies, seen):
            if boundary not in found:
                text += "| %-34s " % "not measured"
                continue
            armed, delay, called, played, waited = found[boundary]
            waits[c.delay].append(waited)
            onset = c.onset(boundary)
            text += "| %8d ms  %+8.3f s  %s " % (
                delay, called if played else float("nan"),
                "%+7.3f s" % onset if onset is not None else "   none")
            row[c.delay] = {"armed_s": armed, "delay_ms": delay,
                            "playsound_after_s": round(called, 3) if played else None,
                            "sound_after_s": round(onset, 3) if onset is not None else None,
                            "waited_ms": waited}
            if onset is None:
                failed = True
            else:
                onsets[c.delay].append(onset)
            if played:
                calls[c.delay].append(called)
        rows.append(row)
        print(text)

    print()
    figures = {}
    for d in DELAYS:
        s, p = summary(onsets[d]), summary(calls[d])
        figures[d] = {"sound_after_s": s, "playsound_after_s": p,
                      "longest_wait_ms": max(waits[d], default=None)}
        if not s["count"]:
            print("%-12s no sound captured" % d)
            continue
        print("%-12s sound after the boundary: median %.3f s, quartiles %.3f - %.3f, "
              "min %.3f, max %.3f, %d of %d before the boundary; PlaySoundA median %+.3f s; "
              "the host's thread waited at most %s ms in a firing"
              % (d, s["median"], s["q1"], s["q3"], s["min"], s["max"], s["before_boundary"],
                 s["count"], p["median"] if p["count"] else float("nan"),
                 figures[d]["longest_wait_ms"]))
    new = figures["new"]["sound_after_s"]
    met = new["count"] >= 10 and new["median"] <= GOAL_MEDIAN_S and new["before_boundary"] == 0
    print("goal (new delay: median within %d ms over ten or more boundaries, none before): %s"
          % (GOAL_MEDIAN_S * 1000, "met" if met else
             "not met" if new["count"] >= 10 else "needs ten boundaries"))
    if args.result:
        with open(args.result, "w") as out:
            json.dump({"boundaries": rows, "summary": figures}, out, indent=1)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
