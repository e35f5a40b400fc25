#!/usr/bin/env python3
"""The release as a user gets it from scripts/release.

reproducible: makes the release from two copies of the sources at different paths, with the
  time of the current commit, and compares their SHA256SUMS. Then checks the shipped DLL's
  headers and Control Flow Guard's table of valid call targets (check_dll_imports.py), and
  that the symbols zip's PDB is the DLL's, with the functions and source lines of the module.
signed: checks that --sign without --timestamp or --no-timestamp is refused; signs a release
  with a throwaway certificate and no time stamp (no network), checks SHA256SUMS against the
  signed zip, verifies the signature against that certificate, and loads the signed DLL
  through the module tests' export and resource cases under Wine.

Usage: release_test.py reproducible SOURCE WORK
       release_test.py signed SOURCE WORK BUILD DLL_TESTS.exe
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import check_dll_imports  # noqa: E402

# Sources whose lines the PDB must hold, and functions it must name.
SOURCES = ["module\\entry.cpp", "scheduler\\signal_timer.cpp", "settings\\settings_paths.cpp",
           "dialog\\setting_dialog.cpp"]
FUNCTIONS = ["InitialLoad", "SignalSettings::InitialLoad", "DllMain"]


def run(command, **options):
    done = subprocess.run(command, capture_output=True, text=True, **options)
    if done.returncode != 0:
        sys.exit("FAIL: %s exited with %d\n%s%s" % (" ".join(map(str, command)), done.returncode,
                                                    done.stdout, done.stderr))
    return done.stdout


def release(source, build, *options, epoch=None):
    """Runs scripts/release into BUILD; returns the folder with the zips and SHA256SUMS."""
    env = dict(os.environ, KARVEX_BUILD_DIR=build)
    env.pop("SOURCE_DATE_EPOCH", None)
    if epoch:
        env["SOURCE_DATE_EPOCH"] = epoch
    print(run([os.path.join(source, "scripts", "release"), *options], env=env), end="")
    return os.path.join(build, "release")


def unpacked(release_dir, work):
    """The DLL and the PDB of a release, unzipped into WORK."""
    for name in os.listdir(release_dir):
        if name.endswith(".zip"):
            zipfile.ZipFile(os.path.join(release_dir, name)).extractall(work)
    return os.path.join(work, "Karvex.dll"), os.path.join(work, "Karvex.pdb")


def copy_sources(source, target):
    files = run(["git", "-C", source, "ls-files", "-z", "--cached", "--others",
                 "--exclude-standard"]).split("\0")
    for name in filter(None, files):
        if os.path.isfile(os.path.join(source, name)):
            os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
            shutil.copy2(os.path.join(source, name), os.path.join(target, name))


def pdb_failures(dll, pdb):
    failures = []
    entry = run([check_dll_imports.RELEASE_READOBJ, "--coff-debug-directory", dll])
    guid = re.search(r"PDBGUID: \{([0-9A-F-]+)\}", entry)
    age = re.search(r"PDBAge: (\d+)", entry)
    name = re.search(r"PDBFileName: (.*)", entry)
    if not (guid and age and name):
        return ["the DLL has no CodeView debug entry"]
    if name.group(1) != "Karvex.pdb":
        failures.append("the debug entry names %r, not Karvex.pdb alone" % name.group(1))
    summary = run([check_dll_imports.RELEASE_PDBUTIL, "dump", "--summary", pdb])
    dll_guid = guid.group(1)
    if "GUID: {%s}" % dll_guid not in summary or "Age: %s\n" % age.group(1) not in summary:
        failures.append("the PDB is not the DLL's (GUID {%s}, age %s):\n%s"
                        % (dll_guid, age.group(1), summary))
    lines, current = {}, None
    for line in run([check_dll_imports.RELEASE_PDBUTIL, "dump", "--l", pdb]).splitlines():
        if "(MD5: " in line:
            current = line.split(" (MD5: ")[0].strip()
        elif current and "line/addr entries = " in line:
            lines[current] = lines.get(current, 0) + int(line.rsplit("= ", 1)[1])
    for source in SOURCES:
        if not any(path.endswith("\\" + source) and count for path, count in lines.items()):
            failures.append("no line records of " + source)
    symbols = run([check_dll_imports.RELEASE_PDBUTIL, "dump", "--symbols", pdb])
    procedures = set(re.findall(r"S_GPROC32 \[size = \d+\] `(.*)`", symbols))
    failures += ["no function " + f for f in FUNCTIONS if f not in procedures]
    return failures


def reproducible(source, work):
    epoch = run(["git", "-C", source, "log", "-1", "--format=%ct"]).strip()
    shutil.rmtree(work, ignore_errors=True)
    releases = []
    for clone in ("one/Karvex", "a-second-clone/in/another/folder/Karvex"):
        copy = os.path.join(work, clone)
        copy_sources(source, copy)
        releases.append(release(copy, os.path.join(copy, "build"), epoch=epoch))
    sums = [open(os.path.join(r, "SHA256SUMS")).read() for r in releases]
    failures = []
    if sums[0] != sums[1]:
        failures.append("SHA256SUMS differ:\n%s\n%s(the releases: %s)" % (*sums, releases))
    dll, pdb = unpacked(releases[0], os.path.join(work, "unpacked"))
    failures += (check_dll_imports.header_failures(dll) + pdb_failures(dll, pdb) +
                 check_dll_imports.guard_failures(dll, pdb))
    return failures


def signed(source, work, build, dll_tests):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    key, cert, pfx, password = (os.path.join(work, n) for n in
                                ("key.pem", "cert.pem", "signer.pfx", "password.txt"))
    with open(password, "w") as f:
        f.write("throwaway\n")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "2", "-nodes",
         "-subj", "/CN=Karvex test signer", "-addext", "extendedKeyUsage=codeSigning",
         "-keyout", key, "-out", cert])
    run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
         "-passout", "file:" + password])
    failures = []
    alone = subprocess.run([os.path.join(source, "scripts", "release"), "--sign", pfx,
                            "--password-file", password], capture_output=True, text=True,
                           env=dict(os.environ, KARVEX_BUILD_DIR=os.path.join(work, "build")))
    if alone.returncode != 2 or "--timestamp URL" not in alone.stderr:
        failures.append("--sign without a time stamp was not refused (exit %d):\n%s%s"
                        % (alone.returncode, alone.stdout, alone.stderr))
    release_dir = release(source, os.path.join(work, "build"), "--sign", pfx,
                          "--password-file", password, "--no-timestamp")
    run(["sha256sum", "--check", "SHA256SUMS"], cwd=release_dir)
    dll, _ = unpacked(release_dir, os.path.join(work, "unpacked"))
    verified = run(["osslsigncode", "verify", "-CAfile", cert, "-in", dll])
    if not re.search(r"digest algorithm\s*: SHA256", verified, re.I):
        failures.append("the signature's digest is not SHA-256:\n" + verified)
    env = dict(os.environ, KARVEX_BUILD_DIR=build, KARVEX_TEST_MODULE="Z:" + dll)
    print(run([os.path.join(source, "scripts", "wine-run"), dll_tests,
               "--gtest_filter=Exports.*:Resources.*"], env=env, stdin=subprocess.DEVNULL))
    return failures


def main(argv):
    if len(argv) == 4 and argv[1] == "reproducible":
        failures = reproducible(*argv[2:])
    elif len(argv) == 6 and argv[1] == "signed":
        failures = signed(*argv[2:])
    else:
        sys.exit(__doc__)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
