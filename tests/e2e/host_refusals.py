#!/usr/bin/env python3
"""The host's refusals: a bad command line, a module that cannot be loaded, a DLL that
lacks exports. Each must end with its own exit code and a message, never a crash.

Usage: host_refusals.py --build DIR --host PandrelHost.exe --runner wine-run --partial DLL
"""
import argparse
import os
import subprocess
import sys


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--host", "--runner", "--partial"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    not_a_dll = os.path.abspath(__file__)  # a text file is no PE image

    cases = [
        # arguments, exit code, text the output must hold
        (["--help"], 0, "--minutes N"),
        (["--frobnicate"], 2, "bad option or value: --frobnicate"),
        (["--minutes", "0"], 2, "bad option or value: --minutes"),
        (["--minutes"], 2, "bad option or value: --minutes"),
        (["--change-portable", "2"], 2, "bad option or value: --change-portable"),
        (["--grace", "soon"], 2, "bad option or value: --grace"),
        (["--module", windows_path(os.path.join(args.build, "no-such.dll"))], 3,
         "cannot load the module"),
        (["--module", windows_path(not_a_dll)], 3, "cannot load the module"),
        (["--module", windows_path(args.partial)], 4,
         "lacks the exports SetParentWindow, IsModuleEnable, GetTitleName, Setting, "
         "StopModule, SetPortableMode, ChangePortableMode, InitialLoad"),
    ]
    env = dict(os.environ, KARVEX_BUILD_DIR=os.path.abspath(args.build))
    failures = 0
    for arguments, want_code, want_text in cases:
        run = subprocess.run([args.runner, args.host] + arguments, env=env, timeout=60,
                             stdin=subprocess.DEVNULL, capture_output=True)
        output = run.stdout.decode("utf-8", "replace")
        ok = run.returncode == want_code and want_text in output
        failures += not ok
        print("%s %s -> %d" % ("ok  " if ok else "FAIL", " ".join(arguments), run.returncode))
        if not ok:
            print("  want exit %d and %r; output:\n%s" % (want_code, want_text, output))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
