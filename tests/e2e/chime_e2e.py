#!/usr/bin/env python3
"""End to end, in real time: the stand-in host runs the real Karvex.dll under Wine across one
real minute boundary, and the sound it plays is captured and checked.

ALSA's default device (set up by the Wine runner) writes every play into KARVEX_SOUND_FILE.
It reopens and truncates that file at each play, so here it is a FIFO that this script holds
open read-write: it never sees end-of-file between plays, and it timestamps each read.
Wine's null device does not pace in real time, so a play arrives in a burst: the first
read's time marks the start of the sound; plays are told apart by the WAV's quiet tail.

A case starts one host or several, each at its own fraction of a second (the chime must
start on the boundary whenever the module was armed) and each with its own FIFO, so several
hosts share one boundary and the run takes no longer.

Usage: chime_e2e.py once|hour_count --build DIR --host PandrelHost.exe --runner wine-run
                    [--sound-devices sound_devices.exe]   (run first: see sound_devices.cpp)
"""
import argparse
import array
import math
import os
import re
import select
import shutil
import subprocess
import sys
import threading
import time
import wave

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
MAX_START_DELAY = 0.25    # seconds from the boundary to the first sound
LOUD = 500                # sample magnitude that counts as sound
QUIET_RUN = 2205          # 0.1 s below LOUD ends a play (the WAV's tail is 0.2 s of silence)

GRACE_MARGIN = 2.0        # seconds after the last play's full length before a host stops

CASES = {
    # name: (settings, the fraction of a second at which each host is launched, one second apart)
    "once": ({"Enable": 1, "SignalType": 0, "Interval": 60, "TimeType": 0}, (0.1, 0.5, 0.9)),
    "hour_count": ({"Enable": 1, "SignalType": 1, "Interval": 60, "TimeType": 0}, (0.7,)),
}
LOG_TIME = re.compile(r"^\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] ")


def expected_plays(settings, hour, minute):
    if settings["SignalType"] == 0:
        return 1
    if minute == 30:
        return 1
    if settings["TimeType"]:
        return hour or 24
    return hour % 12 or 12


def grace_seconds(settings, launch, wav_seconds):
    """How long a host launched at `launch` waits after its boundary before it stops: every
    play the boundary asks for at the WAV's full length, and a margin. Wine's null device takes
    a play faster than that, so a count of twelve has as much room as a single play: the
    verdict never depends on the hour of the day. The boundary may be the one after the
    expected one if the host starts late; either count is allowed for."""
    boundary = (int(launch) // 60 + 1) * 60
    plays = max(expected_plays(settings, local.tm_hour, local.tm_min)
                for local in (time.localtime(boundary), time.localtime(boundary + 60)))
    return math.ceil(plays * wav_seconds + GRACE_MARGIN)  # the host takes whole seconds


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


def first_launch_second(hosts):
    """The whole second at which the first of `hosts` launches: the next one, unless the last
    host would then start within a few seconds of a boundary, which it could miss and then
    wait a whole extra minute for."""
    start = int(time.time()) + 1
    if start % 60 > 56 - hosts:
        start += 61 - start % 60
    return start


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


class Host:
    """One host launched at a fraction of a second: its own folder, settings and FIFO."""

    def __init__(self, work, args, settings, wav):
        os.makedirs(work)
        # A private copy of the host: its portable settings live beside it, away from the demo's.
        self.exe = os.path.join(work, "PandrelHost.exe")
        shutil.copy(args.host, self.exe)
        write_settings(os.path.join(work, "Orlune.ini"), settings, wav)
        self.fifo = os.path.join(work, "sound.fifo")
        os.mkfifo(self.fifo)
        self.reader = os.open(self.fifo, os.O_RDWR | os.O_NONBLOCK)
        self.reads = []  # (time, bytes)
        self.proc = self.output = None
        self.launched = 0.0

    def launch(self, args, module, grace):
        env = dict(os.environ, KARVEX_BUILD_DIR=args.build, KARVEX_SOUND_FILE=self.fifo)
        env.pop("WINE_RUN_SOUND", None)
        self.launched = time.time()
        self.proc = subprocess.Popen(
            [args.runner, self.exe, "--portable", "--module", windows_path(module),
             "--minutes", "1", "--grace", str(grace), "--monitor"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.output = HostOutput(self.proc.stdout)
        self.output.start()


def capture(hosts, deadline):
    """Reads every host's FIFO until all have ended (and what they wrote last is read)."""
    by_reader = {host.reader: host for host in hosts}
    drain_until = None
    while True:
        now = time.time()
        if drain_until is None and all(h.proc.poll() is not None for h in hosts):
            drain_until = now + 0.3  # what the last play wrote may still be in the pipe
        if (drain_until and now > drain_until) or now > deadline:
            break
        ready, _, _ = select.select(list(by_reader), [], [], 0.05)
        for reader in ready:
            data = os.read(reader, 1 << 16)
            by_reader[reader].reads.append((time.time(), data))


def check_host(host, settings, wav_pcm, label, failures):
    timed_out = host.proc.poll() is None
    if timed_out:
        host.proc.kill()
    host.proc.wait()
    host.output.join(2)
    os.close(host.reader)

    print("%s output:" % label)
    for t, line in host.output.lines:
        print("  " + line)

    def check(condition, message):
        if not condition:
            failures.append("%s: %s" % (label, message))

    check(not timed_out, "the host did not end by itself")
    check(host.proc.returncode == 0, "host exit code %s" % host.proc.returncode)
    started = LOG_TIME.match(host.output.find("StartModule -> 1")[1] or "")
    check(started, "StartModule did not return 1")
    seen_at, line = host.output.find("] minute boundary ")
    if not seen_at:
        failures.append("%s: the host reported no minute boundary" % label)
        return
    boundary = seen_at - seen_at % 60
    hour, minute = (int(x) for x in line.split("minute boundary ")[1][:5].split(":"))
    local = time.localtime(boundary)
    check(minute == local.tm_min, "host boundary %s, this clock's %02d:%02d"
          % (line, local.tm_hour, local.tm_min))
    want = expected_plays(settings, hour, minute)

    pcm = b"".join(data for _, data in host.reads)
    plays = count_plays(pcm)
    print("%s: armed at second %s; boundary %02d:%02d; %d reads, %d bytes, %d plays (want %d)"
          % (label, "%s.%s" % started.group(3, 4) if started else "?", hour, minute,
             len(host.reads), len(pcm), plays, want))
    check(plays == want, "counted %d plays, want %d" % (plays, want))
    # The device gets the WAV's own samples: 16-bit mono, nothing resampled or padded.
    check(pcm == wav_pcm * want, "captured %d bytes that are not %d copies of the WAV's %d"
          % (len(pcm), want, len(wav_pcm)))
    early = [t for t, _ in host.reads if t < boundary]
    check(not early, "sound %.3f s before the boundary" % (boundary - early[0] if early else 0))
    fired = LOG_TIME.match(host.output.find("] WM_TIMER id 5000")[1] or "")
    if host.reads:
        delay = host.reads[0][0] - boundary
        print("%s: timer 5000 at second %s, first sound %.3f s after the boundary"
              % (label, "%s.%s" % fired.group(3, 4) if fired else "?", delay))
        check(0 <= delay <= MAX_START_DELAY,
              "first sound %.3f s after the boundary (at most %.2f)" % (delay, MAX_START_DELAY))


def run_case(name, args):
    settings, fractions = CASES[name]
    work = os.path.join(args.build, "e2e", name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    module = os.path.join(os.path.dirname(os.path.abspath(args.host)), "Karvex.dll")
    wav = os.path.join(work, "chime.wav")
    subprocess.run([os.path.join(REPO, "scripts", "make-demo-chime"), wav], check=True)
    with wave.open(wav) as w:
        assert (w.getnchannels(), w.getsampwidth()) == (1, 2)
        wav_pcm = w.readframes(w.getnframes())
        wav_seconds = w.getnframes() / w.getframerate()
    hosts = [Host(os.path.join(work, "host%d" % i), args, settings, wav)
             for i in range(len(fractions))]
    if args.sound_devices:
        subprocess.run([args.runner, args.sound_devices], check=True,
                       env=dict(os.environ, KARVEX_BUILD_DIR=args.build))

    first = first_launch_second(len(hosts))
    grace = 0.0
    for i, (host, fraction) in enumerate(zip(hosts, fractions)):
        time.sleep(max(0.0, first + i + fraction - time.time()))
        grace = grace_seconds(settings, time.time(), wav_seconds)
        host.launch(args, module, grace)
    capture(hosts, hosts[-1].launched + 60 + grace + 20)

    failures = []
    for i, host in enumerate(hosts):
        check_host(host, settings, wav_pcm, "host %d (launched at .%d s)"
                   % (i, round(fractions[i] * 10)), failures)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--build", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--sound-devices", help="program that registers the prefix's sound devices")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    failures = run_case(args.case, args)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
