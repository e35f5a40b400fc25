#!/usr/bin/env python3
"""Checks that the shipped module is a 32-bit x86 Windows DLL that needs nothing but the
system's own DLLs: the MinGW runtime (libgcc, libstdc++, libwinpthread) must be linked in,
since the launcher's folder will not carry it. The file chooser's and the help library are
loaded on first use, never imported: imported, they double the cost of every load and stop
the module loading where one is missing.

Its headers name the oldest Windows it loads on, Vista (it imports the slim reader/writer
locks), and the GUI subsystem; they carry the hardening flags a binary analyzer asks of a
32-bit DLL, and no section is both writable and executable, or shared and writable.

Usage: check_dll_imports.py Karvex.dll
"""
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "winmm.dll",
    "comctl32.dll", "shfolder.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "version.dll", "ntdll.dll",
}
LOADED_ON_FIRST_USE = {"comdlg32.dll", "hhctrl.ocx"}
READOBJ = "llvm-readobj"
HEADERS = [  # (field of llvm-readobj --file-headers, value)
    ("MajorOperatingSystemVersion", "6"),
    ("MinorOperatingSystemVersion", "0"),
    ("MajorSubsystemVersion", "6"),
    ("MinorSubsystemVersion", "0"),
    ("Subsystem", "IMAGE_SUBSYSTEM_WINDOWS_GUI (0x2)"),
]
DLL_CHARACTERISTICS = ["DYNAMIC_BASE", "NX_COMPAT", "NO_SEH"]
FORBIDDEN_SECTION_FLAGS = [{"WRITE", "EXECUTE"}, {"WRITE", "SHARED"}]


def header_failures(path):
    dump = subprocess.run([READOBJ, "--file-headers", "--sections", path], check=True,
                          capture_output=True, text=True).stdout
    failures = []
    for field, value in HEADERS:
        found = re.search(r"^\s*%s: (.*)$" % field, dump, re.M)
        if not found or found.group(1) != value:
            failures.append("%s is %s, not %s" % (field, found and found.group(1), value))
    for flag in DLL_CHARACTERISTICS:
        if "IMAGE_DLL_CHARACTERISTICS_%s " % flag not in dump:
            failures.append("no %s in the DLL characteristics" % flag)
    sections = re.split(r"^\s*Section \{", dump, flags=re.M)[1:]
    if not sections:
        failures.append("no sections found (llvm-readobj output changed?)")
    for block in sections:
        name = re.search(r"Name: (\S+)", block).group(1)
        flags = set(re.findall(r"IMAGE_SCN_MEM_(\w+)", block))
        for forbidden in FORBIDDEN_SECTION_FLAGS:
            if forbidden <= flags:
                failures.append("section %s is %s" % (name, " and ".join(sorted(forbidden))))
    return failures


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    dump = subprocess.run([OBJDUMP, "-p", argv[1]], check=True, capture_output=True,
                          text=True).stdout
    failures = []
    if "file format pei-i386" not in dump:
        failures.append("not a PE file for i386")
    if not re.search(r"^Magic\s+010b\s+\(PE32\)", dump, re.M):
        failures.append("not PE32 (32-bit)")
    characteristics = dump.split("Characteristics", 1)[-1].split("\n\n", 1)[0]
    if not re.search(r"^\s+DLL$", characteristics, re.M):
        failures.append("the DLL flag is not set")
    imports = re.findall(r"DLL Name: (\S+)", dump)
    print("imports: " + ", ".join(imports))
    if not imports:
        failures.append("no imports found (objdump output changed?)")
    early = [name for name in imports if name.lower() in LOADED_ON_FIRST_USE]
    if early:
        failures.append("imports what it loads on first use: " + ", ".join(early))
    foreign = [name for name in imports
               if name.lower() not in SYSTEM_DLLS | LOADED_ON_FIRST_USE]
    if foreign:
        failures.append("imports DLLs that are not the system's: " + ", ".join(foreign))
    failures += header_failures(argv[1])
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
