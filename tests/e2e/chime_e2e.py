#!/usr/bin/env python3
"""End to end, in real time: the stand-in host runs the real Karvex.dll under Wine across one
real minute boundary, and the sound it plays is captured and checked.

ALSA's default device (set up by the Wine runner) writes every play into KARVEX_SOUND_FILE.
It reopens and truncates that file at each play, so here it is a FIFO that this script holds
open read-write: it never sees end-of-file between plays, and it timestamps each read.
Wine's null device does not pace in real time, so a play arrives in a burst: the first
read's time marks the start of the sound; plays are told apart by the WAV's quiet tail.

Usage: chime_e2e.py once|hour_count --build DIR --host PandrelHost.exe --runner wine-run
                    [--result FILE]   (the measured figures as JSON, for scripts/benchmark)
"""
import argparse
import array
import json
import os
import select
import shutil
import subprocess
import sys
import threading
import time
import wave

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
MAX_START_DELAY = 1.5     # seconds from the boundary to the first sound
LOUD = 500                # sample magnitude that counts as sound
QUIET_RUN = 2205          # 0.1 s below LOUD ends a play (the WAV's tail is 0.2 s of silence)

CASES = {
    # name: (settings, grace seconds after the boundary for the plays to finish)
    "once": ({"Enable": 1, "SignalType": 0, "Interval": 60, "TimeType": 0}, 2),
    "hour_count": ({"Enable": 1, "SignalType": 1, "Interval": 60, "TimeType": 0}, 5),
}


def expected_plays(settings, hour, minute):
    if settings["SignalType"] == 0:
        return 1
    if minute == 30:
        return 1
    if settings["TimeType"]:
        return hour or 24
    return hour % 12 or 12


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def write_settings(path, settings, wav):
    lines = ["[Orlune]"] + ["%s=%d" % item for item in settings.items()]
    lines.append("WaveName=" + windows_path(wav))
    with open(path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


def count_plays(pcm):
    """Runs of sound separated by at least QUIET_RUN quiet samples."""
    samples = array.array("h")
    samples.frombytes(pcm[: len(pcm) // 2 * 2])
    plays, quiet = 0, QUIET_RUN
    for sample in samples:
        if sample > LOUD or sample < -LOUD:
            if quiet >= QUIET_RUN:
                plays += 1
            quiet = 0
        else:
            quiet += 1
    return plays


def wait_for_a_fresh_second():
    """Launch just after a second ticks, and not in the last seconds of a minute.

    The module arms its timer with whole seconds, so it fires as many milliseconds after
    the boundary as the clock showed when it was armed; starting early in a second keeps
    that part small and the start-delay check meaningful. Starting too close to a boundary
    could let the host miss it and wait a whole extra minute.
    """
    now = time.time()
    if time.localtime(now).tm_sec >= 57:
        time.sleep(61 - now % 60)
        now = time.time()
    time.sleep(1 - now % 1)


class HostOutput(threading.Thread):
    """Collects the host's lines with the time each arrived."""

    def __init__(self, stream):
        super().__init__(daemon=True)
        self.stream, self.lines = stream, []

    def run(self):
        for raw in self.stream:
            self.lines.append((time.time(), raw.decode("utf-8", "replace").rstrip()))

    def find(self, text):
        return next(((t, line) for t, line in self.lines if text in line), (None, None))


def run_case(name, args):
    settings, grace = CASES[name]
    work = os.path.join(args.build, "e2e", name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # A private copy of the host: its portable settings live beside it, away from the demo's.
    host = os.path.join(work, "PandrelHost.exe")
    shutil.copy(args.host, host)
    module = os.path.join(os.path.dirname(os.path.abspath(args.host)), "Karvex.dll")
    wav = os.path.join(work, "chime.wav")
    subprocess.run([os.path.join(REPO, "scripts", "make-demo-chime"), wav], check=True)
    with wave.open(wav) as w:
        assert (w.getnchannels(), w.getsampwidth()) == (1, 2)
        wav_pcm = w.readframes(w.getnframes())
    write_settings(os.path.join(work, "Orlune.ini"), settings, wav)

    fifo = os.path.join(work, "sound.fifo")
    os.mkfifo(fifo)
    reader = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    env = dict(os.environ, KARVEX_BUILD_DIR=args.build, KARVEX_SOUND_FILE=fifo)
    env.pop("WINE_RUN_SOUND", None)

    wait_for_a_fresh_second()
    launched = time.time()
    proc = subprocess.Popen(
        [args.runner, host, "--portable", "--module", windows_path(module),
         "--minutes", "1", "--grace", str(grace)],
        env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = HostOutput(proc.stdout)
    output.start()

    reads = []  # (time, bytes)
    deadline = launched + 60 + grace + 20
    drain_until = None
    while True:
        now = time.time()
        if drain_until is None and proc.poll() is not None:
            drain_until = now + 0.3  # what the last play wrote may still be in the pipe
        if (drain_until and now > drain_until) or now > deadline:
            break
        ready, _, _ = select.select([reader], [], [], 0.05)
        if ready:
            data = os.read(reader, 1 << 16)
            reads.append((time.time(), data))
    timed_out = proc.poll() is None
    if timed_out:
        proc.kill()
    proc.wait()
    output.join(2)
    os.close(reader)

    print("host output:")
    for t, line in output.lines:
        print("  " + line)
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    check(not timed_out, "the host did not end by itself")
    check(proc.returncode == 0, "host exit code %s" % proc.returncode)
    check(output.find("StartModule -> 1")[1], "StartModule did not return 1")
    seen_at, line = output.find("] minute boundary ")
    if not seen_at:
        failures.append("the host reported no minute boundary")
        return failures
    boundary = seen_at - seen_at % 60
    hour, minute = (int(x) for x in line.split("minute boundary ")[1][:5].split(":"))
    local = time.localtime(boundary)
    check(minute == local.tm_min, "host boundary %s, this clock's %02d:%02d"
          % (line, local.tm_hour, local.tm_min))
    want = expected_plays(settings, hour, minute)

    pcm = b"".join(data for _, data in reads)
    plays = count_plays(pcm)
    print("boundary %02d:%02d; %d reads, %d bytes, %d plays (want %d)"
          % (hour, minute, len(reads), len(pcm), plays, want))
    check(plays == want, "counted %d plays, want %d" % (plays, want))
    # The device gets the WAV's own samples: 16-bit mono, nothing resampled or padded.
    check(pcm == wav_pcm * want, "captured %d bytes that are not %d copies of the WAV's %d"
          % (len(pcm), want, len(wav_pcm)))
    early = [t for t, _ in reads if t < boundary]
    check(not early, "sound %.3f s before the boundary" % (boundary - early[0] if early else 0))
    if reads:
        delay = reads[0][0] - boundary
        print("first sound %.3f s after the boundary" % delay)
        if args.result:
            with open(args.result, "w") as out:
                json.dump({"case": name, "boundary": "%02d:%02d" % (hour, minute),
                           "plays": plays, "first_sound_after_boundary_s": round(delay, 3)}, out)
        check(0 <= delay <= MAX_START_DELAY,
              "first sound %.3f s after the boundary (at most %.1f)" % (delay, MAX_START_DELAY))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--build", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--result", help="write the measured figures to this JSON file")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    failures = run_case(args.case, args)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
