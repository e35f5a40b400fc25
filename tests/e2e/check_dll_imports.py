#!/usr/bin/env python3
"""Checks that the shipped module is a 32-bit x86 Windows DLL that needs nothing but the
system's own DLLs: the MinGW runtime (libgcc, libstdc++, libwinpthread) must be linked in,
since the launcher's folder will not carry it. The file chooser's and the help library are
loaded on first use, never imported: imported, they double the cost of every load and stop
the module loading where one is missing.

Every imported function must be one that Vista's system DLLs export (VISTA_EXPORTS): the
loader refuses a DLL with a single import the system lacks. None may be the crypto
provider's: it loads three libraries under the loader's lock (the stack canaries' guard is
seeded without it, win32/stack_guard.h).

Its headers name the oldest Windows it loads on, Vista (it imports the slim reader/writer
locks), and the GUI subsystem; they carry the hardening flags a binary analyzer asks of a
32-bit DLL, and no section is both writable and executable, or shared and writable.

Usage: check_dll_imports.py Karvex.dll
"""
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
# What the module may import, function by function: what the two builds import, each with
# Windows 2000 or XP as its "Minimum supported client" in Microsoft's documentation but the
# slim reader/writer locks, which came with Vista. A function missing here fails the check:
# add it only once its documented minimum client is Vista or older. msvcrt.dll is the C
# runtime every Windows since 2000 carries; its list holds the classic functions that the
# static MinGW runtime calls, none of the later additions (the _s functions, the ucrt's).
VISTA_EXPORTS = {
    "kernel32.dll": """AcquireSRWLockExclusive AcquireSRWLockShared AreFileApisANSI CloseHandle CompareFileTime CompareStringOrdinal CreateFileA
        CreateFileW CreateThread DeleteCriticalSection DeleteFileW EnterCriticalSection
        FindClose FindFirstFileW FindNextFileW FlushFileBuffers FreeLibrary
        FreeLibraryAndExitThread GetACP GetCurrentDirectoryA GetCurrentDirectoryW
        GetCurrentProcess GetCurrentProcessId GetCurrentThreadId GetExitCodeProcess
        GetFileAttributesExW GetFileAttributesW GetFileSizeEx GetFinalPathNameByHandleW GetLastError GetLocalTime
        GetModuleFileNameA GetModuleFileNameW GetModuleHandleA GetModuleHandleExW GetModuleHandleW
        GetPrivateProfileIntW GetPrivateProfileSectionNamesW GetPrivateProfileStringW GetProcAddress GetSystemDirectoryA
        GetSystemTimeAsFileTime GetTickCount InitializeCriticalSection IsDBCSLeadByteEx
        IsProcessorFeaturePresent LeaveCriticalSection LoadLibraryA LoadLibraryExA lstrcmpiA
        MoveFileExW MultiByteToWideChar OpenProcess QueryPerformanceCounter ReadFile
        ReleaseSRWLockExclusive ReleaseSRWLockShared RtlCaptureContext SetCurrentDirectoryA
        SetCurrentDirectoryW SetFileAttributesW SetFileInformationByHandle SetFilePointerEx SetFileTime SetLastError
        SetUnhandledExceptionFilter Sleep TerminateProcess TlsGetValue UnhandledExceptionFilter
        VirtualAlloc VirtualFree VirtualProtect VirtualQuery WideCharToMultiByte WriteFile WritePrivateProfileStringW""",
    "user32.dll": """CheckRadioButton DialogBoxParamA EnableWindow EndDialog GetDlgItem
        GetDlgItemTextA GetWindowLongA GetWindowTextLengthA GetWindowThreadProcessId
        IsDlgButtonChecked IsWindow
        KillTimer LoadStringA SendDlgItemMessageA SendMessageA SetDlgItemTextA SetTimer
        SetWindowLongA""",
    "advapi32.dll": "RegCloseKey RegCreateKeyExA RegDeleteKeyA RegOpenKeyExA RegQueryValueExA",
    "winmm.dll": "PlaySoundA",
    "msvcrt.dll": """__mb_cur_max _amsg_exit _errno _initterm _iob _lock _unlock abort atoi
        calloc fputc free fwrite localeconv malloc memcpy memmove memset realloc setlocale
        strchr strcspn strerror strlen strncmp vfprintf wcslen wcsrchr""",
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
    # Each DLL's block: "DLL Name: X", then one "<vma> <hint> <name>" line per function.
    imports = {name.lower(): re.findall(r"^\t[0-9a-f]+\t +\d+ +(\S+)$", block, re.M)
               for name, block in re.findall(r"DLL Name: (\S+)\n(.*?)\n\n", dump, re.S)}
    print("imports: " + ", ".join(imports))
    if not imports:
        failures.append("no imports found (objdump output changed?)")
    early = [name for name in imports if name in LOADED_ON_FIRST_USE]
    if early:
        failures.append("imports what it loads on first use: " + ", ".join(early))
    foreign = [name for name in imports if name not in VISTA_EXPORTS.keys() | LOADED_ON_FIRST_USE]
    if foreign:
        failures.append("imports DLLs other than the system's five it may use: "
                        + ", ".join(foreign))
    for dll, functions in imports.items():
        crypto = [f for f in functions if f.startswith("Crypt")]
        if crypto:
            failures.append("imports the crypto provider (%s): it loads three libraries inside "
                            "LoadLibrary, under the loader's lock" % ", ".join(crypto))
        # (A DLL without a list failed above.)
        unknown = [f for f in functions if f not in VISTA_EXPORTS.get(dll, f).split()]
        if unknown:
            failures.append("imports from %s what is not on its list of Vista's exports "
                            "(VISTA_EXPORTS in %s): %s" % (dll, __file__, ", ".join(unknown)))
    failures += header_failures(argv[1])
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
