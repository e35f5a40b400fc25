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

With --guard-cf PDB (the clang build, which ships): Control Flow Guard. The headers carry
GUARD_CF and a load-configuration directory whose record (module/load_config.cpp) gives its own
size, the guard's flags and its check pointer, in a section that is not writable; and every
function whose address the module hands to Windows is in the table of valid call targets: the
ten exports (from the export table) and the callbacks of HANDED_TO_WINDOWS (their addresses
from the PDB). A strict host refuses a call to any function missing there.

Usage: check_dll_imports.py Karvex.dll [--guard-cf Karvex.pdb]
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
        calloc fputc free fwrite localeconv malloc memcmp memcpy memmove memset realloc
        setlocale strchr strcspn strerror strlen strncmp vfprintf wcscmp wcslen wcsncmp
        wcsrchr""",
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
# The release build's own LLVM (19), which reads what its lld writes (the guard, the PDB).
RELEASE_READOBJ = "llvm-readobj-19"
RELEASE_PDBUTIL = "llvm-pdbutil-19"
# The functions besides the exports whose address the module hands to Windows: the timer
# callbacks (module/host_call_pins.cpp, hand-written), the settings dialog's procedure (its
# help too: WM_HELP), the hour count's thread. A new callback joins this list.
HANDED_TO_WINDOWS = ["SignalTimerProc", "ReleaseTimerProc", "SettingDialogProc",
                     "HourCountThread"]
GUARD_FLAGS = ["CF_INSTRUMENTED", "CF_FUNCTION_TABLE_PRESENT"]
# The record's size up to its last guard field that the check relies on (GuardFlags).
GUARD_RECORD_MIN_SIZE = 0x5C


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


def function_addresses(pdb):
    """{name: {relative addresses}} of the PDB's functions: its procedures under their names
    (C++ ones qualified, without parameters) and its public symbols undecorated (`_Name@16`:
    the hand-written ones have no procedure record)."""
    def dump(what):
        return subprocess.run([RELEASE_PDBUTIL, "dump", what, pdb], check=True,
                              capture_output=True, text=True).stdout
    sections = [int(a, 16) for a in
                re.findall(r"(\w+) virtual address\n", dump("--section-headers"))]
    found = {}
    for name, section, offset in (
            re.findall(r"S_[GL]PROC32 \[size = \d+\] `(.*)`\n.*addr = (\d+):(\d+)",
                       dump("--symbols")) +
            [(re.sub(r"@\d+$", "", re.sub(r"^_", "", n)), sec, off) for n, sec, off in re.findall(
                r"S_PUB32 \[size = \d+\] `(.*)`\n\s+flags = [^,]*, addr = (\d+):(\d+)",
                dump("--publics"))]):
        if 0 < int(section) <= len(sections):
            found.setdefault(name, set()).add(sections[int(section) - 1] + int(offset))
    return found


def guard_failures(dll, pdb):
    """What keeps a host that enforces Control Flow Guard strictly from loading the DLL, or
    from calling what the module hands it."""
    dump = subprocess.run([RELEASE_READOBJ, "--file-headers", "--sections", "--coff-exports",
                           "--coff-load-config", dll], check=True, capture_output=True,
                          text=True).stdout
    failures = []
    if "IMAGE_DLL_CHARACTERISTICS_GUARD_CF " not in dump:
        failures.append("no GUARD_CF in the DLL characteristics")
    record = re.search(r"^LoadConfig \[\n(.*?)^\]", dump, re.M | re.S)
    directory = re.search(r"LoadConfigTableSize: (0x[0-9A-F]+)", dump)
    if not record or not directory or int(directory.group(1), 16) == 0:
        return failures + ["no load-configuration directory"]
    record = record.group(1)
    field = lambda name: int(re.search(r"^\s*%s: (\w+)" % name, record, re.M).group(1), 0)
    if field("Size") != int(directory.group(1), 16) or field("Size") < GUARD_RECORD_MIN_SIZE:
        failures.append("the record's size %#x is not the directory's (%s) or holds no guard "
                        "fields" % (field("Size"), directory.group(1)))
    flags = re.search(r"GuardFlags \[.*?\n(.*?)\]", record, re.S)
    failures += ["no %s in the guard flags" % f for f in GUARD_FLAGS
                 if not flags or not re.search(r"\b%s\b" % f, flags.group(1))]
    base = int(re.search(r"ImageBase: (0x[0-9A-F]+)", dump).group(1), 16)
    check = field("GuardCFCheckFunction") - base
    holder = [b for b in re.split(r"^\s*Section \{", dump, flags=re.M)[1:]
              if 0 <= check - int(re.search(r"VirtualAddress: (\w+)", b).group(1), 16)
              < int(re.search(r"VirtualSize: (\w+)", b).group(1), 16)]
    if not holder:
        failures.append("the guard's check pointer (%#x) lies in no section" % (check + base))
    elif "IMAGE_SCN_MEM_WRITE" in holder[0]:
        failures.append("the guard's check pointer lies in a writable section (%s)"
                        % re.search(r"Name: (\S+)", holder[0]).group(1))
    table = re.search(r"^GuardFidTable \[\n(.*?)^\]", dump, re.M | re.S)
    table = {int(a, 16) - base for a in table.group(1).split()} if table else set()
    exports = re.findall(r"Name: (\w+)\n\s+RVA: (0x[0-9A-F]+)", dump)
    if len(exports) != 10:
        failures.append("%d exports, not ten" % len(exports))
    wanted = [("export " + name, {int(rva, 16)}) for name, rva in exports]
    functions = function_addresses(pdb)
    wanted += [(name, functions.get(name)) for name in HANDED_TO_WINDOWS]
    for name, addresses in wanted:
        if not addresses:
            failures.append("%s: not found in %s" % (name, pdb))
        elif not addresses & table:
            failures.append("%s (%s) is not a valid call target: missing from the guard's "
                            "table" % (name, ", ".join("%#x" % (a + base) for a in addresses)))
    return failures


def main(argv):
    if len(argv) not in (2, 4) or len(argv) == 4 and argv[2] != "--guard-cf":
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
    if len(argv) == 4:
        failures += guard_failures(argv[1], argv[3])
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
