#!/usr/bin/env python3
"""The host's refusals: a bad command line, a module that cannot be loaded, a DLL that
lacks exports. Each must end with its own exit code and a message, never a crash.
Also a Ctrl-C while the settings dialog is open: it must end the dialog as Cancel, so the
module saves nothing the user never confirmed.

Usage: host_refusals.py --build DIR --host PandrelHost.exe --runner wine-run --partial DLL
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time


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
    failures += not check_interrupted_setting(args, env)
    return 1 if failures else 0


def check_interrupted_setting(args, env):
    # A copy of the host beside the real module, with portable settings of its own.
    folder = os.path.join(args.build, "e2e", "interrupted-setting")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    host = os.path.join(folder, "PandrelHost.exe")
    shutil.copy(args.host, host)
    ini = os.path.join(folder, "Orlune.ini")
    settings = b"[Orlune]\r\nEnable=0\r\nSignalType=0\r\nInterval=300\r\nTimeType=0\r\nWaveName=a.wav\r\n"
    with open(ini, "wb") as out:
        out.write(settings)
    module = windows_path(os.path.join(os.path.dirname(args.host), "Karvex.dll"))
    host_process = subprocess.Popen([args.runner, host, "--portable", "--setting", "--module", module],
                                    env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT)
    time.sleep(3)  # the dialog is open by now
    host_process.send_signal(signal.SIGINT)
    output = host_process.communicate(timeout=60)[0].decode("utf-8", "replace")
    with open(ini, "rb") as saved:
        interval_kept = b"Interval=300" in saved.read()
    ok = host_process.returncode == 0 and "Setting -> 0" in output and interval_kept
    print("%s Ctrl-C during Setting -> %d" % ("ok  " if ok else "FAIL", host_process.returncode))
    if not ok:
        print("  want exit 0, 'Setting -> 0' and the settings kept; output:\n%s" % output)
    return ok


if __name__ == "__main__":
    sys.exit(main())
