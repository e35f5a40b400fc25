#!/usr/bin/env python3
"""The quick loop behind `scripts/test --fast [-R REGEX]`: builds only the test programs and
runs each once, instead of one process per test as ctest does.

  native.logic   build/native/karvex_native_tests (natively, ASan/UBSan)
  unit.*         karvex_unit_tests.exe, one Wine process for all the cases chosen (and one
                 beside it for the soak)
  dll.*          karvex_dll_tests.exe against build/bin/Karvex.dll, likewise
  clang.*        the same program against the clang build (only when REGEX names clang)

REGEX is matched against the same names as ctest's -R (`ctest -N` lists them); the cases it
selects run through GoogleTest's filter. The dll cases that need a process of their own
(suites OwnProcess*) go to ctest, which knows their environment. A failure is named as ctest
names it, so `scripts/test -R '^unit\\.Suite\\.Case$'` runs it alone. Without REGEX: native,
unit and dll, everything in them. e2e., fuzz., resources., release. and bench. tests are
not run here: `scripts/test -R` runs them.
"""
import argparse
import os
import re
import subprocess
import sys
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OTHER_PREFIXES = ("e2e", "fuzz", "resources", "release", "bench")
PROGRAM_TIMEOUT = 1200  # seconds: every case of the largest program, on a busy machine
RUN, DONE = re.compile(r"^\[ RUN      \] (\S+)"), re.compile(r"^\[ +(?:OK|SKIPPED) +\] (\S+)")


class Program:
    def __init__(self, prefix, target, exe, wine=True, env=None, by_default=True, beside=(),
                 when_named=()):
        self.prefix, self.target, self.exe = prefix, target, exe
        self.wine, self.env, self.by_default, self.beside = wine, env or {}, by_default, beside
        # Suites too slow for the loop: run only when the regex names their cases.
        self.when_named = when_named

    def command(self, build, gtest_args):
        runner = [os.path.join(REPO, "scripts", "wine-run")] if self.wine else []
        return runner + [os.path.join(build, self.exe)] + gtest_args

    def environment(self, build):
        return dict(os.environ, KARVEX_BUILD_DIR=build, **self.env)


def programs(build):
    clang_dll = "Z:" + os.path.join(build, "clang", "bin", "Karvex.dll")
    return [Program("native", "native_tests", os.path.join("native", "karvex_native_tests"), wine=False),
            # The soaks touch no file, registry key or window of the others (the save soak
            # has a folder of its own): they run in a second process beside them, which
            # halves the loop on two cores. The save soak (about 20 s of process kills) runs
            # only when named: -R 'unit\.SaveSoak', and in every full run.
            Program("unit", "karvex_unit_tests", os.path.join("bin", "karvex_unit_tests.exe"),
                    beside=("HourCountSoak", "SaveSoak"), when_named=("SaveSoak",)),
            Program("dll", "karvex_dll_tests", os.path.join("bin", "karvex_dll_tests.exe")),
            Program("clang", "karvex_dll_tests", os.path.join("bin", "karvex_dll_tests.exe"),
                    env={"KARVEX_TEST_MODULE": clang_dll}, by_default=False)]


def named_prefixes(regex, candidates):
    """The programs a regex names by prefix; all that run by default when it names none."""
    words = set(re.findall(r"[a-z0-9]+", regex))
    named = [p for p in candidates if p.prefix in words]
    others = words & set(OTHER_PREFIXES)
    if others:
        print("--fast leaves out %s: scripts/test -R runs them" % ", ".join(sorted(p + "." for p in others)))
    return named if named or others else candidates


def selects_every_case(regex, prefix):
    """True when the regex matches every name that starts with `prefix.`: it matches the bare
    prefix and nothing in it looks past the text matched (no end anchor or look-around)."""
    if "$" in regex or "\\b" in regex or "\\B" in regex or "(?" in regex:
        return False
    return re.search(regex, prefix + ".") is not None


def list_cases(program, build):
    out = subprocess.run(program.command(build, ["--gtest_list_tests"]), env=program.environment(build),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True, errors="replace", timeout=300, check=True).stdout
    cases, suite = [], ""
    for line in out.splitlines():
        if not line.strip():
            continue
        if not line.startswith(" "):
            suite = line.split()[0]
        else:
            cases.append(suite + line.split()[0])
    return cases


def split_filters(program, cases):
    """GoogleTest filters for one run of `program` over `cases` (None: every case but the
    OwnProcess suites), and a second, for the suites it runs beside the first."""
    if cases is None:
        if not program.wine:
            return ["*"]
        left_out = ":".join(suite + ".*" for suite in dict.fromkeys(program.beside + program.when_named))
        beside = ":".join(suite + ".*" for suite in program.beside if suite not in program.when_named)
        return ["-OwnProcess*" + (":" + left_out if left_out else "")] + ([beside] if beside else [])
    own = [c for c in cases if c.split(".")[0] not in program.beside]
    beside = [c for c in cases if c.split(".")[0] in program.beside]
    return [":".join(part) for part in (own, beside) if part]


def run_program(program, build, cases, log_dir):
    """Runs `program` once over `cases` (two processes side by side when the program has
    suites that may run beside the rest) and returns the names of the cases that failed or
    never finished."""
    start, runs = time.time(), []
    for i, gtest_filter in enumerate(split_filters(program, cases)):
        log = open(os.path.join(log_dir, "%s%s.log" % (program.prefix, "-beside" if i else "")),
                   "w+", errors="replace")
        proc = subprocess.Popen(program.command(build, ["--gtest_filter=" + gtest_filter, "--gtest_color=no"]),
                                env=program.environment(build), stdin=subprocess.DEVNULL,
                                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        runs.append((proc, log))
    failed, passed = [], 0
    for proc, log in runs:
        try:
            code = proc.wait(timeout=max(1, PROGRAM_TIMEOUT - (time.time() - start)))
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            code = "a timeout of %d s" % PROGRAM_TIMEOUT
            proc.wait()
        log.seek(0)
        lines = log.read().splitlines()
        log.close()
        # A case may start the program again for a child process, which reports its case too.
        started = list(dict.fromkeys(m.group(1) for m in map(RUN.match, lines) if m))
        done = {m.group(1) for m in map(DONE.match, lines) if m}
        failed_here = [name for name in started if name not in done]
        passed += len(started) - len(failed_here)
        if failed_here or code != 0 or not started:
            print("---- %s (%s)" % (program.prefix, log.name))
            print_failures(lines, failed_here)
            if code != 0:
                print("%s: the program ended with %s" % (program.prefix, code))
            if not started:
                failed_here.append("(no case ran)")
            elif not failed_here:
                failed_here.append("(the program, after its cases passed)")
        failed += failed_here
    print("%-8s %3d passed, %d failed  %6.1f s" % (program.prefix, passed, len(failed), time.time() - start))
    return ["native.logic: " + n for n in failed] if not program.wine else \
           [program.prefix + "." + n for n in failed]


def print_failures(lines, failed):
    """The output of each failed case, from its RUN line to its end (or the end of the log)."""
    printing = False
    for line in lines:
        m = RUN.match(line)
        if m:
            printing = m.group(1) in failed
        if printing:
            print("  " + line)
        if printing and (DONE.match(line) or line.startswith("[  FAILED  ]")):
            printing = False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("-R", "--tests-regex", dest="regex")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    candidates = programs(build)
    if args.regex is None:
        chosen = [p for p in candidates if p.by_default]
    else:
        chosen = named_prefixes(args.regex, candidates)
    if not chosen:
        print("No native., unit., dll. or clang. test matches (as with ctest, no failure)")
        return 0
    targets = sorted({p.target for p in chosen})
    subprocess.run([os.path.join(REPO, "scripts", "build"), "--target"] + targets, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(REPO, "scripts", "wine-run"), "--prepare"], check=True,
                   env=dict(os.environ, KARVEX_BUILD_DIR=build))
    log_dir = os.path.join(build, "fast-run")
    os.makedirs(log_dir, exist_ok=True)

    failures, own_process, ran = [], [], False
    for program in chosen:
        if args.regex is None or selects_every_case(args.regex, program.prefix):
            cases = None
            if program.prefix == "dll":
                own_process.append("^dll\\.OwnProcess")
        elif program.prefix == "native":
            cases = None if re.search(args.regex, "native.logic") else []
        else:
            names = [n for n in list_cases(program, build)
                     if re.search(args.regex, program.prefix + "." + n)]
            cases = [n for n in names if not n.startswith("OwnProcess")]
            if program.prefix == "dll":
                own_process += [re.escape("dll." + n) + "$" for n in names if n.startswith("OwnProcess")]
        if cases != []:
            failures += run_program(program, build, cases, log_dir)
            ran = True
    if own_process:
        ctest = subprocess.run(["ctest", "--output-on-failure", "-R", "|".join(own_process)], cwd=build,
                               stdout=subprocess.PIPE, text=True, errors="replace")
        summary = [line for line in ctest.stdout.splitlines() if "tests passed" in line]
        print("ctest    " + summary[0] if ctest.returncode == 0 and summary else ctest.stdout)
        failures += re.findall(r"^\s*\d+ - (\S+) \(", ctest.stdout, re.M)
        if ctest.returncode != 0 and not failures:
            failures.append("(ctest ended with %d)" % ctest.returncode)
    if not ran and not own_process:
        print("No native., unit., dll. or clang. test matches (as with ctest, no failure)")
    for name in failures:
        print("FAILED: " + name)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
