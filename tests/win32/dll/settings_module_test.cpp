// The settings as the host meets them through the real DLL: which file InitialLoad reads,
// what StartModule answers, and where the settings land when the DLL is unloaded. This
// executable is the host, so the portable file lies beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "support/host_session.h"
#include "support/import_hook.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

// What the failing-writes table breaks, through the module's import table. Write number
// WriteAt fails (Half: after writing half its bytes, answering HalfAnswer, as a disk that
// fills up does); the others fail whenever set.
struct Faults {
    int Writes = 0, WriteAt = 0;
    bool Half = false;
    BOOL HalfAnswer = FALSE;
    bool RefuseNewFile = false, FailFlush = false, CrossVolume = false;
    bool FailPlacing = false;  // the new file's rename into place
} TheFaults;

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    if (++TheFaults.Writes != TheFaults.WriteAt) return WriteFile(file, bytes, count, written, overlapped);
    *written = 0;
    if (TheFaults.Half) WriteFile(file, bytes, count / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return TheFaults.Half ? TheFaults.HalfAnswer : FALSE;
}

HANDLE WINAPI FaultyCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    if (TheFaults.RefuseNewFile && disposition == CREATE_NEW) {
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

// A rename between the two settings places fails as between two volumes.
BOOL WINAPI FaultyMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    const std::wstring source = from;
    const bool newFile = source.size() > 4 && source.substr(source.size() - 4) == L".tmp";
    if ((TheFaults.CrossVolume && !newFile) || (TheFaults.FailPlacing && newFile)) {
        SetLastError(newFile ? ERROR_ACCESS_DENIED : ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
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
// no temporary file behind, and the next one succeeds. The saves are the unload's, of a file
// spaced as no save writes it (a save that lands shows); the moves go from beside the host to
// the application data across volumes, where a full disk stops the copy half way.
TEST_F(SettingsModuleTest, AFailedSaveOrMoveLeavesTheFileAsItWas) {
    const std::string spaced = "; the user's\r\n[Mine]\r\nKeep=1\r\n\r\n[Orlune]\r\nEnable = 1\r\n"
                               "SignalType = 1\r\nInterval = 900\r\nTimeType = 1\r\nWaveName = a.wav\r\n"
                               "Other = kept\r\n\r\n[Tail]\r\nImportant=keep-me\r\n";
    const SettingValues values{1, 1, 900, 1, "a.wav"};
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
        {"1 the folder refuses the new file", [](Faults& f) { f.RefuseNewFile = true; }},
        {"2 the 1st write fails", [](Faults& f) { f.WriteAt = 1; }},
        {"3 the 3rd write fails", [](Faults& f) { f.WriteAt = 3; }},
        {"4 the 5th write fails", [](Faults& f) { f.WriteAt = 5; }},
        {"5 the disk fills half way through a write", fullDisk(5, FALSE)},
        {"6 a write answers success for half its bytes", fullDisk(3, TRUE)},
        {"7 the flush fails", [](Faults& f) { f.FailFlush = true; }},
        {"8 the new file cannot be put in place", [](Faults& f) { f.FailPlacing = true; }},
        {"9 a move across volumes", [](Faults& f) { f.CrossVolume = true; }, true, false, true},
        {"10 a move across volumes onto a full disk",
         [&](Faults& f) { f.CrossVolume = true, fullDisk(1, FALSE)(f); }, true},
        {"11 the same over an older file",
         [&](Faults& f) { f.CrossVolume = true, fullDisk(1, FALSE)(f); }, true, true},
    };
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
            };
            for (const ImportHook& hook : hooks) ASSERT_TRUE(hook.Installed());
            EXPECT_EQ(module.Api.InitialLoad(row.move ? 1 : 0), 5);
            TheFaults = Faults{};
            row.fault(TheFaults);
            if (row.move) {
                EXPECT_EQ(module.Api.ChangePortableMode(0), row.lands ? 1 : 0);
                EXPECT_EQ(ReadFileBytes(AppDataIniPath()), row.lands ? spaced : targetBefore);
                EXPECT_EQ(ReadFileBytes(PortableIniPath()),
                          row.lands ? std::nullopt : std::optional<std::string>(spaced));
                TheFaults = Faults{};  // the unload's own save lands
            } else {
                module.Unload();
                if (row.lands) {
                    ExpectFileHolds(AppDataIniPath(), values);
                } else {
                    EXPECT_EQ(ReadFileBytes(AppDataIniPath()), spaced);
                }
            }
            EXPECT_EQ(TemporariesLeft(), 0u);
            TheFaults = Faults{};
        }
        // The next save, unhindered.
        ModuleUnderTest again;
        again.Api.InitialLoad(0);
        again.Unload();
        const std::optional<std::string> after = ReadFileBytes(AppDataIniPath());
        ASSERT_TRUE(after.has_value());
        EXPECT_EQ(after->find("Enable = 1"), std::string::npos) << "the next save did not land";
        for (const char* kept : {"[Mine]\r\nKeep=1\r\n", "Other = kept\r\n", "[Tail]\r\nImportant=keep-me\r\n"}) {
            EXPECT_TRUE(after->find(kept) != std::string::npos || (row.move && !row.lands)) << kept;
        }
        EXPECT_EQ(TemporariesLeft(), 0u);
    }
}

}  // namespace
