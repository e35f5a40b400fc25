#!/usr/bin/env python3
"""Checks that the shipped module is a 32-bit x86 Windows DLL that needs nothing but the
system's own DLLs: the MinGW runtime (libgcc, libstdc++, libwinpthread) must be linked in,
since the launcher's folder will not carry it. The file chooser's and the help library are
loaded on first use, never imported: imported, they double the cost of every load and stop
the module loading where one is missing.

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
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
