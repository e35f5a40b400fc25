// The settings as the host meets them through the real DLL: which file InitialLoad reads,
// what StartModule answers, and where the settings land when the DLL is unloaded. This
// executable is the host, so the portable file lies beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "support/host_session.h"
#include "support/import_hook.h"
#include "support/legacy_registry_store.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

using namespace std::string_literals;

// What the failing-saves table breaks, through the module's import table, for every save of
// the session. Write number WriteAt and all after it fail (Half: after writing half its bytes,
// answering HalfAnswer, as a disk that fills up does); the system's profile writer, on the last
// of each save's five keys, leaves the copy
// CutFromEnd bytes short while it answers success (as Wine's does on a full disk); the others
// fail whenever set.
struct Faults {
    int Writes = 0, WriteAt = 0;
    bool Half = false;
    BOOL HalfAnswer = FALSE;
    int ProfileWrites = 0;
    LONG CutFromEnd = 0;
    bool RefuseNewFile = false, FailFlush = false, CrossVolume = false;
    bool DenyReading = false;           // the settings file may be replaced but not read
    DWORD FailPlacing = ERROR_SUCCESS;  // the new file's rename into place fails so
    int HeldForTries = 0;               // ... for this many tries only (a scanner lets go)
    bool PosixRename = false;           // the system has the POSIX rename (Windows 10 1607)
    DWORD PosixFlags = 0;               // what the module asked of it
} TheFaults;

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    if (TheFaults.WriteAt == 0 || ++TheFaults.Writes < TheFaults.WriteAt) {
        return WriteFile(file, bytes, count, written, overlapped);
    }
    *written = 0;
    if (TheFaults.Half) WriteFile(file, bytes, count / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return TheFaults.Half ? TheFaults.HalfAnswer : FALSE;
}

BOOL WINAPI FaultyWritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file) {
    const BOOL written = WritePrivateProfileStringW(section, key, value, file);
    if (!section || ++TheFaults.ProfileWrites % 5 != 0 || TheFaults.CutFromEnd == 0) return written;
    const scoped::File copy(CreateFileW(file, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    SetFilePointer(copy.Get(), -TheFaults.CutFromEnd, nullptr, FILE_END);
    SetEndOfFile(copy.Get());
    return TRUE;
}

HANDLE WINAPI FaultyCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    const std::wstring path = name;
    const bool settingsFile = path.size() > 10 && path.substr(path.size() - 10) == L"Orlune.ini";
    if ((TheFaults.RefuseNewFile && disposition == CREATE_NEW) ||
        (TheFaults.DenyReading && settingsFile && (access & GENERIC_READ))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

BOOL WINAPI FaultyFlushFileBuffers(HANDLE file) {
    if (!TheFaults.FailFlush) return FlushFileBuffers(file);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

bool IsTemporary(const std::wstring& path) {
    return path.size() > 4 && path.substr(path.size() - 4) == L".tmp";
}

// A rename between the two settings places fails as between two volumes.
BOOL WINAPI FaultyMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    const bool newFile = IsTemporary(from);
    if (newFile && TheFaults.HeldForTries > 0 && --TheFaults.HeldForTries == 0) TheFaults.FailPlacing = ERROR_SUCCESS;
    if ((TheFaults.CrossVolume && !newFile) || (TheFaults.FailPlacing && newFile)) {
        SetLastError(newFile ? TheFaults.FailPlacing : ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
}

// Wine has no POSIX rename: where the row gives the system one, it replaces the target
// whoever holds it (here: a rename once the holder is out of the way).
BOOL WINAPI FaultySetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    if (!TheFaults.PosixRename || kind != 22) return SetFileInformationByHandle(file, kind, info, size);
    struct RenameEx {
        DWORD Flags;
        HANDLE Root;
        DWORD Length;
        WCHAR Name[1];
    };
    const auto* rename = static_cast<const RenameEx*>(info);
    TheFaults.PosixFlags = rename->Flags;
    wchar_t from[MAX_PATH + 48];
    GetFinalPathNameByHandleW(file, from, MAX_PATH + 48, VOLUME_NAME_DOS);
    TheFaults.FailPlacing = ERROR_SUCCESS;
    return MoveFileExW(from, std::wstring(rename->Name, rename->Length / 2).c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The temporary files a save left in the folders of both settings files.
std::size_t TemporariesLeft() {
    return TemporariesBeside(AppDataIniPath()).size() + TemporariesBeside(PortableIniPath()).size();
}

class SettingsModuleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(files.CreateAppDataFolders()); }

    SettingsFilesSandbox files;
};

// Each InitialLoad reads afresh the file its flag selects (any non-zero flag is portable);
// StartModule arms the timer only when that file enables the module.
TEST_F(SettingsModuleTest, InitialLoadReadsTheFileItsFlagSelectsAndStartFollowsIt) {
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), Settings("Enable=1\r\nWaveName=roaming.wav\r\n")));
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(), Settings("Enable=0\r\nWaveName=beside.wav\r\n")));
    const struct {
        int portable;
        int read;
        int enable;
    } rows[] = {{0, 11, 1}, {1, 10, 0}, {0, 11, 1}, {7, 10, 0}};
    HostSession host;
    ASSERT_TRUE(host.Load(HostSession::kReal));
    host.Api().SetParentWindow(host.Window());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.portable);
        EXPECT_EQ(host.Api().InitialLoad(row.portable), row.read);
        EXPECT_EQ(host.Api().IsModuleEnable(), row.enable);
        EXPECT_EQ(host.Api().StartModule(), row.enable);
        // StopModule reports whether a timer was pending.
        EXPECT_EQ(host.Api().StopModule() != 0, row.enable != 0);
    }
}

// The settings files hold only Enable=1 at the start, so the keys that the unload adds show
// where it wrote; the other place is left as it was (SetPortableMode moves nothing). Without
// InitialLoad (the host only asked QueryVekModule), or when the shell could not name the
// application-data folder at the load or when the flag was cleared, the unload writes nothing
// at all (not to the file the flag named before). The unload runs in
// the loader's lock, at process exit after the shell has shut down: it writes to the path
// worked out when the mode was set, loads nothing and asks the shell nothing.
TEST_F(SettingsModuleTest, UnloadSavesWhereThePortableFlagThenPoints) {
    const std::string enabled = Settings("Enable=1\r\n");
    const struct {
        const char* name;
        bool appDataFile, portableFile;
        int initialLoad;  // -1: not called; 2: InitialLoad(0) while the shell fails, back after
        int setPortable;  // -1: not called; 2: SetPortableMode(1) while the host's path is too long;
                          // 3: SetPortableMode(0) while the shell fails
        int change;       // -1: not called
        int changeResult;
        bool savedBeside;
        bool otherKept;  // the other place still holds its file as it was
    } cases[] = {
        {"1 application data", true, false, 0, -1, -1, 0, false, false},
        {"2 beside the host", false, true, 1, -1, -1, 0, true, false},
        {"3 flag set after the load", true, false, 0, 1, -1, 0, true, true},
        {"4 flag cleared after the load", false, true, 1, 0, -1, 0, false, true},
        {"5 after a move beside the host", true, false, 0, -1, 1, 1, true, false},
        {"6 after a move back", false, true, 1, -1, 0, 1, false, false},
        {"7 after a failed move", false, false, 0, -1, 1, 0, false, false},
        {"8 no load", true, false, -1, -1, -1, 0, false, false},
        {"9 no load, flag set", false, true, -1, 1, -1, 0, true, false},
        {"10 application data unreachable at load, flag cleared", true, false, 2, 0, -1, 0, false, false},
        {"11 application data unreachable at load, moved beside", true, false, 2, -1, 1, 1, true, false},
        {"12 flag set after the load, beside a host too deep", true, false, 0, 2, -1, 0, false, false},
        {"13 flag cleared after the load, application data unreachable", false, true, 1, 3, -1, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Start(true));
        if (c.appDataFile) { ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), enabled)); }
        if (c.portableFile) { ASSERT_TRUE(WriteFileBytes(PortableIniPath(), enabled)); }
        recorded::Reset();
        if (c.initialLoad == 2) recorded::Answer([](recorded::Answers& a) { a.AppData = ""; });  // fails
        RecordedModule module;
        ASSERT_TRUE(module.Ready());
        if (c.initialLoad >= 0) module.Api.InitialLoad(c.initialLoad % 2);
        recorded::Answer([](recorded::Answers& a) { a.AppData.reset(); });
        if (c.setPortable == 2) recorded::Answer([](recorded::Answers& a) { a.HostExe = "C:\\" + std::string(300, 'h') + "\\k.exe"; });
        if (c.setPortable == 3) recorded::Answer([](recorded::Answers& a) { a.AppData = ""; });
        if (c.setPortable >= 0) { EXPECT_EQ(module.Api.SetPortableMode(c.setPortable == 1 || c.setPortable == 2), 0); }
        if (c.change >= 0) { EXPECT_EQ(module.Api.ChangePortableMode(c.change), c.changeResult); }
        const recorded::Record before = recorded::Snapshot();
        module.Unload();  // hooked still
        const recorded::Record after = recorded::Snapshot();
        EXPECT_EQ(before.Libraries.size(), after.Libraries.size()) << "a library loaded at unload";
        EXPECT_EQ(before.Lookups + before.FoundCalls, after.Lookups + after.FoundCalls) << "the unload asked the shell";
        const std::string saved = c.savedBeside ? PortableIniPath() : AppDataIniPath();
        const std::string other = c.savedBeside ? AppDataIniPath() : PortableIniPath();
        if (c.initialLoad < 0 || c.initialLoad == 2 || c.setPortable >= 2) {
            EXPECT_EQ(ReadFileBytes(saved), enabled) << "written without a load, or to a place not chosen";
            EXPECT_TRUE(after.SettingsWrites.empty()) << after.SettingsWrites.front().File;
        } else {
            ExpectFileHolds(saved, With(kDefaults, [&](SettingValues& v) {
                                v.Enable = c.appDataFile || c.portableFile ? 1 : 0;
                            }));
        }
        EXPECT_EQ(ReadFileBytes(other), c.otherKept ? std::optional<std::string>(enabled) : std::nullopt)
            << other;
    }
}

// A save or a move that fails anywhere leaves the settings file byte for byte as it was and
// no temporary file behind, and the next one succeeds. The saves are the legacy import's
// (new values) and the unload's, into a file spaced as no save writes it; the moves go from
// beside the host to the application data across volumes, where a full disk stops the copy
// half way. Where the rename cannot run, a folder that refuses new files is written in place,
// and a target held open is replaced by the POSIX rename where the system has one.
TEST_F(SettingsModuleTest, AFailedSaveOrMoveLeavesTheFileAsItWas) {
    const std::string spaced = "; the user's\r\n[Mine]\r\nKeep=1\r\n\r\n[Orlune]\r\nEnable = 1\r\n"
                               "SignalType = 1\r\nInterval = 900\r\nTimeType = 1\r\nWaveName = a.wav\r\n"
                               "Other = kept\r\n\r\n[Tail]\r\nImportant=keep-me\r\n";
    const SettingValues saved{0, 0, 3600, 0, "b.wav"};
    const std::string older = "[Orlune]\r\nEnable=0\r\n";
    const auto fullDisk = [](int write, BOOL answer) {
        return [=](Faults& f) { f.WriteAt = write, f.Half = true, f.HalfAnswer = answer; };
    };
    const struct {
        const char* name;
        std::function<void(Faults&)> fault;
        bool move = false;
        bool olderTarget = false;  // a move's target already holds an older file
        bool lands = false;        // succeeds all the same
    } rows[] = {
        {"1 the folder refuses the new file: written in place", [](Faults& f) { f.RefuseNewFile = true; },
         false, false, true},
        {"2 the copy's write fails", [](Faults& f) { f.WriteAt = 1; }},
        {"3 the disk fills half way through the copy", fullDisk(1, FALSE)},
        {"4 a write answers success for half its bytes", fullDisk(1, TRUE)},
        {"5 the profile writer cuts the copy inside its last line, answering success", [](Faults& f) { f.CutFromEnd = 5; }},
        {"6 ... at the line break before its last key", [](Faults& f) { f.CutFromEnd = 19; }},
        {"7 ... before its last section", [](Faults& f) { f.CutFromEnd = 27; }},
        {"8 the file may be replaced but not read", [](Faults& f) { f.DenyReading = true; }},
        {"9 the flush fails", [](Faults& f) { f.FailFlush = true; }},
        {"10 the new file cannot be put in place", [](Faults& f) { f.FailPlacing = ERROR_ACCESS_DENIED; }},
        {"11 the file is held open, the system has the POSIX rename",
         [](Faults& f) { f.FailPlacing = ERROR_SHARING_VIOLATION, f.PosixRename = true; }, false, false, true},
        {"12 the file is held open for a moment (a scanner): the save waits",
         [](Faults& f) { f.FailPlacing = ERROR_SHARING_VIOLATION, f.HeldForTries = 5; }, false, false, true},
        {"13 a move across volumes", [](Faults& f) { f.CrossVolume = true; }, true, false, true},
        {"14 a move across volumes onto a full disk",
         [&](Faults& f) { f.CrossVolume = true, fullDisk(1, FALSE)(f); }, true},
        {"15 the same over an older file",
         [&](Faults& f) { f.CrossVolume = true, fullDisk(1, FALSE)(f); }, true, true},
    };
    LegacyRegistrySandbox legacy;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(files.Start(true));
        const std::string source = row.move ? PortableIniPath() : AppDataIniPath();
        ASSERT_TRUE(WriteFileBytes(source, spaced));
        if (row.olderTarget) { ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), older)); }
        const std::optional<std::string> targetBefore = ReadFileBytes(AppDataIniPath());
        {
            ModuleUnderTest module;
            ASSERT_TRUE(module.Loaded());
            const ImportHook hooks[] = {
                {module.Handle, "KERNEL32.dll", "WriteFile", HookAddress(&FaultyWriteFile)},
                {module.Handle, "KERNEL32.dll", "CreateFileW", HookAddress(&FaultyCreateFileW)},
                {module.Handle, "KERNEL32.dll", "FlushFileBuffers", HookAddress(&FaultyFlushFileBuffers)},
                {module.Handle, "KERNEL32.dll", "MoveFileExW", HookAddress(&FaultyMoveFileExW)},
                {module.Handle, "KERNEL32.dll", "WritePrivateProfileStringW", HookAddress(&FaultyWritePrivateProfileStringW)},
                {module.Handle, "KERNEL32.dll", "SetFileInformationByHandle", HookAddress(&FaultySetFileInformationByHandle)},
            };
            for (const ImportHook& hook : hooks) ASSERT_TRUE(hook.Installed());
            TheFaults = Faults{};
            row.fault(TheFaults);
            if (row.move) {
                EXPECT_EQ(module.Api.InitialLoad(1), 5);
                EXPECT_EQ(module.Api.ChangePortableMode(0), row.lands ? 1 : 0);
                EXPECT_EQ(ReadFileBytes(AppDataIniPath()), row.lands ? spaced : targetBefore);
                EXPECT_EQ(ReadFileBytes(PortableIniPath()),
                          row.lands ? std::nullopt : std::optional<std::string>(spaced));
                TheFaults = Faults{};  // the unload's own save lands
            } else {
                ASSERT_TRUE(legacy.CreateLegacyStore(saved));
                module.Api.InitialLoad(0);
                module.Unload();
                if (row.lands) {
                    ExpectFileHolds(AppDataIniPath(), saved);
                } else {
                    EXPECT_EQ(ReadFileBytes(AppDataIniPath()), spaced);
                }
                EXPECT_EQ(TheFaults.PosixFlags, TheFaults.PosixRename ? 3u : 0u) << "replace, POSIX semantics";
            }
            EXPECT_EQ(TemporariesLeft(), 0u);
            TheFaults = Faults{};
        }
        // The next save, unhindered.
        ASSERT_TRUE(legacy.CreateLegacyStore(saved));
        ModuleUnderTest again;
        again.Api.InitialLoad(0);
        again.Unload();
        ExpectFileHolds(AppDataIniPath(), saved);
        const std::vector<std::string> after = AsTheReaderSees(AppDataIniPath());
        for (const char* kept : {"[Mine] Keep=1", "[Orlune] Other=kept", "[Tail] Important=keep-me"}) {
            EXPECT_TRUE(std::find(after.begin(), after.end(), kept) != after.end() || (row.move && !row.lands)) << kept;
        }
        EXPECT_EQ(TemporariesLeft(), 0u);
    }
}

// Settings files of every shape a user, an old editor or another program may leave: lone CRs
// and CR-only or LF-only files, blanks inside brackets, sections and keys twice, lines without
// '=', comments, zero bytes, double-byte text whose second byte is ']' or '\\', a lead byte
// before a line break or an '=', UTF-16 of either order with and without a mark, a UTF-8 mark,
// no final line break. Generated from a seed, then joined by the cases met in the field.
std::vector<std::string> SettingsFilesOfEveryShape(unsigned seed, int generated) {
    const std::string lines[] = {
        "[Orlune]", "[orlune]", "[ Orlune ]", "[Orlune\t]", "[Other]", "[]", "[Tail]x",
        "[\x83\x5C]", "[\x83\x5D]", "[Or\0lune]"s, "Enable=0", "enable = 1", " SignalType=5 ",
        "Interval=60", "TimeType=1", "WaveName=old.wav", "WaveName = \"quoted.wav\"", "User=keep",
        "Other=kept", "; comment", "no equals", "=value", "", "   ", "k\0ey=1"s, "key=va\0lue"s,
        "\x83\x5C=\x83\x5D", "Name=\x83", "\x83=x", "dup=1", "dup=2", "\x1a",
    };
    const char* const breaks[] = {"\r\n", "\n", "\r"};
    std::mt19937 random(seed);
    std::vector<std::string> files;
    for (int f = 0; f < generated; ++f) {
        const unsigned mode = random() % 4;  // one kind of line break, or any
        std::string text;
        for (unsigned n = random() % 14; n > 0; --n) {
            text += lines[random() % std::size(lines)];
            text += breaks[mode < 3 ? mode : random() % 3];
        }
        if (random() % 5 == 0 && !text.empty()) text.pop_back();
        switch (random() % 10) {
        case 0: files.push_back(Utf16File(text, false)); break;
        case 1: files.push_back(Utf16File(text, true)); break;
        case 2: files.push_back(Utf16File(text, false, false)); break;
        case 3: files.push_back("\xEF\xBB\xBF" + text); break;
        default: files.push_back(text);
        }
    }
    for (const char* field : {
             "[Orlune]\rEnable=0\r", "[Orlune]\r\nEnable=0\rUser=keep\r\n",
             "[Orlune]\r\n;c\r[Other]\r\nx=1\r\n", "[ Orlune ]\r\nEnable=0\r\n",
             "[Orlune\t]\r\nEnable=0\r\n[Other]\r\nx=1\r\n", "",
             "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n",
             "[s]\r\nkey=val\r\n\r\n[s]\r\nkey2=val2\r\n", "\xEF\xBB\xBF[Orlune]\r\nEnable=0\r\n",
             "[Orlune]\r\nEnable=0", "  [Orlune]  \r\n  Enable = 0  \r\n", "[Orlune]\r\nEnable=0\r\n[]\r\nk=v\r\n",
             "[Orlune]\r\nWaveName=a.wav\r\n", "\r\n\r\n[Orlune]\r\n\r\n"}) {
        files.push_back(field);
    }
    return files;
}

// Whatever file the user has, a save through the real DLL (the legacy import's) is what the
// next load reads, and leaves every other section and key as the system's own writer leaves
// them in a copy of the same file (Wine's writer moves a few odd lines itself: the keys of an
// empty "[]" section join the section before it; that is the platform's writer either way).
TEST_F(SettingsModuleTest, ASaveReadsBackAsTheSystemsWriterLeavesTheFile) {
    const SettingValues sets[] = {{1, 1, 900, 1, kJapaneseWave}, {0, 0, 0xFFFFFFFFu, 0, ""},
                                  {1, 0, 60, 1, "C:\\a b\\chime.wav"},
                                  {1, 0, 300, 0, "\"C:\\pasted as a path.wav\"  "}};
    const std::string writers = TempPath("karvex-writers-copy.ini");
    const std::vector<std::string> files = SettingsFilesOfEveryShape(2612, 300);
    const auto start = std::chrono::steady_clock::now();
    LegacyRegistrySandbox legacy;
    int lost = 0, different = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string shown;  // the file's bytes, the unprintable ones escaped
        for (const unsigned char c : files[i]) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
            shown += escaped;
        }
        SCOPED_TRACE("file " + std::to_string(i + 1) + ": " + shown);
        const SettingValues& values = sets[i % std::size(sets)];
        ASSERT_TRUE(files[i].empty() && i % 7 == 0 ? (RemoveFile(AppDataIniPath()), true)
                                                     : WriteFileBytes(AppDataIniPath(), files[i]));
        ASSERT_TRUE(WriteFileBytes(writers, ReadFileBytes(AppDataIniPath()).value_or("")));
        if (!FileExists(AppDataIniPath())) RemoveFile(writers);
        ASSERT_TRUE(legacy.CreateLegacyStore(values));
        {
            ModuleUnderTest module;
            ASSERT_TRUE(module.Loaded());
            module.Api.InitialLoad(0);
        }
        const std::vector<std::string> asWritten = AsWritten(values);
        for (int k = 0; k < 5; ++k) {
            WritePrivateProfileStringA(kSection, kKeysInOrder[k], asWritten[k].c_str(), writers.c_str());
        }
        // The five keys as the next load reads them from each file.
        const auto readBack = [](const std::string& path) {
            std::vector<std::string> read;
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
            for (const char* key : kKeysInOrder) {
                char value[1024];
                GetPrivateProfileStringA(kSection, key, "(none)", value, sizeof value, path.c_str());
                read.push_back(value);
            }
            return read;
        };
        const std::vector<std::string> read = readBack(AppDataIniPath());
        lost += read != readBack(writers);
        EXPECT_EQ(read, readBack(writers)) << "the save is not what the next load reads";
        const bool same = AsTheReaderSees(AppDataIniPath()) == AsTheReaderSees(writers);
        different += !same;
        EXPECT_TRUE(same) << "other lines differ from what the system's writer leaves";
        EXPECT_EQ(TemporariesBeside(AppDataIniPath()), std::vector<std::string>{});
    }
    RemoveFile(writers);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("%zu files: %d saves lost, %d with other lines different, %lld ms\n", files.size(), lost,
                different, static_cast<long long>(ms.count()));
}

// A host that switched the file functions to the OEM code page (SetFileApisToOEM, process-wide)
// in a folder whose name the two code pages spell differently ("kp\xE9": ANSI 1252, OEM 437,
// so this runs in a process of its own under that locale): the load reads the user's file,
// and the save writes that file, not one of another name.
TEST(OwnProcessOemFileApis, LoadAndSaveNameOneFile) {
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(GetOEMCP(), 437u);
    SettingsFilesSandbox files;
    const std::wstring folder = Widen(TempPath("kp\xE9"));
    RemoveTreeW(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring ini = folder + L"\\Orlune.ini";
    ASSERT_TRUE(WriteFileBytesW(ini, Settings("Enable=1\r\nInterval=900\r\nWaveName=C:\\user.wav\r\n")));
    LegacyRegistrySandbox legacy;
    const SettingValues imported{1, 1, 3600, 1, "C:\\imported.wav"};
    SetFileApisToOEM();
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session == 0 ? "the user's file read" : "the legacy values saved");
        if (session == 1) { ASSERT_TRUE(legacy.CreateLegacyStore(imported)); }
        recorded::Reset();
        recorded::Answer([](recorded::Answers& a) { a.HostExe = TempPath("kp\xE9\\host.exe"); });
        RecordedModule module;
        ASSERT_TRUE(module.Ready());
        EXPECT_EQ(module.Api.InitialLoad(1), session == 0 ? 11 : 0);  // then the uninstall key's close
        EXPECT_EQ(module.Api.IsModuleEnable(), 1);
        module.Unload();
    }
    SetFileApisToANSI();
    std::vector<std::wstring> names;
    WalkFolder(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW&) { names.push_back(path); });
    EXPECT_EQ(names, std::vector<std::wstring>{ini});
    ExpectFileHolds(TempPath("kp\xE9\\Orlune.ini"), imported);
    RemoveTreeW(folder);
}

// Wine's own name for a path on the Unix side.
std::string UnixPathOf(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto name = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = name ? name(Widen(path).c_str()) : nullptr;
    const std::string result = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Runs a Unix program (Wine starts those too), then waits until `done` says it has run: Wine's
// handle to a Unix process is not one to wait on.
bool RunUnix(const char* program, std::string arguments, const std::function<bool()>& done) {
    std::string command = std::string(program) + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    for (int waited = 0; !done() && waited < 5000; waited += 10) Sleep(10);
    return done();
}

// A settings file that is a symbolic link (to a synced copy, say): the save writes the file it
// points to, and the link stays a link. (Wine makes and deletes no links itself:
// CreateSymbolicLinkW answers success without one, and DeleteFile on one deletes its file.)
TEST_F(SettingsModuleTest, ASymbolicLinkStaysALinkAndItsFileIsSaved) {
    const std::string real = ProductFolder() + "\\synced";
    CreateDirectoryA(real.c_str(), nullptr);
    const std::string realIni = real + "\\Orlune.ini";
    const std::string link = UnixPathOf(AppDataIniPath());
    struct Cleanup {
        std::string Real, Link;
        ~Cleanup() {
            RunUnix("Z:\\bin\\rm", "-f " + Link, [] { return !FileExists(AppDataIniPath()); });
            RemoveFile(Real + "\\Orlune.ini");
            RemoveDirectoryA(Real.c_str());
        }
    } cleanup{real, link};
    ASSERT_TRUE(WriteFileBytes(realIni, Settings("Enable=0\r\n") + "[Mine]\r\nKeep=1\r\n"));
    ASSERT_TRUE(RunUnix("Z:\\bin\\ln", "-s " + UnixPathOf(realIni) + " " + link,
                        [] { return FileExists(AppDataIniPath()); }))
        << "no link made";
    LegacyRegistrySandbox legacy;
    const SettingValues imported{1, 0, 600, 0, "C:\\synced.wav"};
    ASSERT_TRUE(legacy.CreateLegacyStore(imported));
    {
        ModuleUnderTest module;
        ASSERT_TRUE(module.Loaded());
        module.Api.InitialLoad(0);
    }
    ExpectFileHolds(realIni, imported);
    const std::vector<std::string> seen = AsTheReaderSees(realIni);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), "[Mine] Keep=1") != seen.end());
    // Still the link: a file of its own would not change with the real one.
    ASSERT_TRUE(WriteFileBytes(realIni, Settings("Enable=1\r\n")));
    EXPECT_EQ(ReadFileBytes(AppDataIniPath()), Settings("Enable=1\r\n"));
}

}  // namespace
