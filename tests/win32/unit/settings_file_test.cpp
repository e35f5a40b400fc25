// The settings record against real settings files in the Wine prefix: what a load gives,
// what a save writes, and the move between the two places. Which file the host's flag
// selects, and the save at unload, are checked through the real DLL (settings_module_test);
// hand-edited files, files that cannot be written and paths at the edge of their buffer
// through a whole host session (dll.Reliability).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/signal_settings.h"
#include "support/child_process.h"
#include "support/settings_files.h"
#include "support/setting_values.h"
#include "tests/cases/wave_name_cuts.h"
#include "win32/scoped_win.h"

namespace {

// The module's string table: this executable links it.
const HINSTANCE kResources = GetModuleHandleA(nullptr);

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 932u) << "tests expect the Japanese ANSI code page";
        ASSERT_TRUE(files.CreateAppDataFolders());
    }

    SettingsFilesSandbox files;
};

// Each load starts from values no load gives, so a field that a load leaves alone shows; the
// unload then writes back what was read, unless it could not be read. (No file, an empty one,
// one without the section, and a folder the shell cannot name: dll.Reliability and
// dll.SettingsModuleTest.)
TEST_F(SettingsFileTest, LoadGivesTheFilesValuesOrTheDefaults) {
    const SettingValues every{1, 1, 3600, 1, kJapaneseWave};
    struct Row {
        std::string name;
        std::string file;
        SettingValues loaded;
        std::optional<DWORD> heldSharing = std::nullopt;  // another program holds it open, sharing this
    };
    std::vector<Row> rows = {
        {"1 empty section", Settings(""), kDefaults},
        {"2 every key", Settings(every), every},
        {"3 None", Settings("Enable=1\r\nInterval=4294967295\r\n"), {1, 0, 0xFFFFFFFFu, 0, ""}},
        {"4 held open and shared (an editor)", Settings(every), every, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        {"5 held open unshared: unreadable, not the user's", Settings(every), kDefaults, 0},
    };
    for (const WaveNameCut& c : WaveNameCuts()) {
        rows.push_back({c.Name, Settings("WaveName=" + c.Text + "\r\n"),
                        With(kDefaults, [&](SettingValues& v) { v.WaveName = c.Kept; })});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), row.file));
        ExclusiveFile held(row.heldSharing ? AppDataIniPath() : "", row.heldSharing.value_or(0));
        SignalSettings loaded(kResources);
        FillWithSentinels(loaded);
        EXPECT_EQ(loaded.InitialLoad(0), static_cast<int>(row.loaded.WaveName.size()));
        EXPECT_EQ(ValuesOf(loaded), row.loaded);
        // The unload's save: never of the unreadable; and a file another program holds open,
        // even sharing it, cannot be replaced (the save fails, the file stays as it was).
        EXPECT_EQ(loaded.SaveUsersValues(), !row.heldSharing);
        held.Release();
        ExpectFileHolds(AppDataIniPath(), row.heldSharing == DWORD{0} ? every : row.loaded);
    }
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

// A process that is still running (held suspended), or one that has ended (its id not yet
// reused while the handle is held).
struct OtherProcess {
    explicit OtherProcess(bool running)
        : child("--gtest_list_tests", nullptr, "", CREATE_SUSPENDED), Id(child.Id) {
        if (!running) {
            TerminateProcess(child.Process.Get(), 1);
            WaitForSingleObject(child.Process.Get(), 5000);
        }
    }
    ~OtherProcess() { TerminateProcess(child.Process.Get(), 1); }
    ChildProcess child;
    DWORD Id = 0;
};

// "<settings file>.~<writer's process id><serial>.tmp", as a save names its new file.
std::string TemporaryOf(DWORD writer, const char* serial = "0001") {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".~%08lx%s.tmp", static_cast<unsigned long>(writer), serial);
    return AppDataIniPath() + suffix;
}

// The five keys in the order the module writes them, "None" as 4294967295, a name of the
// full 259 bytes. A name is kept up to its first line break, and as the system's reader gives
// it back (a path pasted with its quotes): the session then holds what the file does. (That a
// load reads them so: the table above.) What a save cut short left beside the file goes with
// the next save; a running writer's stays, and so does every name not exactly of a save's shape.
TEST_F(SettingsFileTest, SaveWritesTheFiveKeysInOrder) {
    const std::string longest = "C:\\" + kSo + std::string(259 - 9, 'w') + ".wav";
    const struct {
        SettingValues values;
        std::string kept;  // the name the file and then the session keep
    } rows[] = {
        {{1, 1, 3600, 0, "C:\\Sounds\\chime.wav"}, "C:\\Sounds\\chime.wav"},
        {{0, 0, 0xFFFFFFFFu, 1, ""}, ""},
        {{1, 0, 60, 0, kJapaneseWave}, kJapaneseWave},
        {{1, 1, 1800, 1, longest}, longest},
        {{1, 0, 300, 0, "C:\\a.wav\r\nEnable=0"}, "C:\\a.wav"},
        {{1, 0, 300, 0, "C:\\b.wav\rTimeType=1"}, "C:\\b.wav"},
        {{1, 0, 300, 0, "\"C:\\pasted as a path.wav\"  "}, "C:\\pasted as a path.wav"},
    };
    ASSERT_EQ(longest.size(), 259u);
    const OtherProcess running(true), ended(false);
    ASSERT_NE(running.Id, 0u);
    ASSERT_NE(ended.Id, 0u);
    const std::string kept[] = {TemporaryOf(running.Id), AppDataIniPath() + ".~mine.tmp",
                                AppDataIniPath() + ".~deadbeef notes.tmp", TemporaryOf(ended.Id, "0001x")};
    const std::string cleared[] = {TemporaryOf(ended.Id), AppDataIniPath() + ".~DEADBEEF0002.TMP"};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i + 1);
        RemoveFile(AppDataIniPath());
        for (const std::string& left : kept) ASSERT_TRUE(WriteFileBytes(left, "[Orlune]\r\nEnable="));
        for (const std::string& left : cleared) ASSERT_TRUE(WriteFileBytes(left, "[Orlune]\r\nEnable="));
        SignalSettings saved(kResources);
        saved.SetPortableMode(0);
        SetValues(saved, rows[i].values);
        EXPECT_TRUE(saved.SaveToIni());
        for (const std::string& left : kept) EXPECT_TRUE(FileExists(left)) << left;
        for (const std::string& left : cleared) EXPECT_FALSE(FileExists(left)) << left;
        EXPECT_EQ(IniText::FromFile(AppDataIniPath()).Keys(kSection),
                  std::vector<std::string>(std::begin(kKeysInOrder), std::end(kKeysInOrder)));
        const SettingValues keptValues = With(rows[i].values, [&](SettingValues& v) { v.WaveName = rows[i].kept; });
        EXPECT_EQ(ValuesOf(saved), keptValues);
        SignalSettings loaded(kResources);
        loaded.InitialLoad(0);
        EXPECT_EQ(ValuesOf(loaded), keptValues);
    }
    for (const std::string& left : kept) RemoveFile(left);
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

// A settings file that is missing while a save that ended left its complete copy beside it
// (a power cut in the middle of a rename on FAT32, which renames in several steps): the load
// puts the newest such copy in place. Never one that lacks a key, nor a running writer's.
TEST_F(SettingsFileTest, AMissingFileComesBackFromAnEndedSavesCompleteCopy) {
    const OtherProcess running(true), ended(false);
    const SettingValues older{1, 0, 300, 0, "older.wav"}, newer{1, 1, 3600, 1, kJapaneseWave};
    const auto aged = [](const std::string& path, int minutesAgo) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
        time.QuadPart -= 600000000ull * static_cast<unsigned>(minutesAgo);
        const FILETIME then{time.LowPart, time.HighPart};
        const scoped::File file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return SetFileTime(file.Get(), nullptr, nullptr, &then) != FALSE;
    };
    const std::string lacking = Settings("Enable=1\r\nSignalType=1\r\nInterval=60\r\nTimeType=1\r\n");
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> left;  // path, content, oldest first
        SettingValues loaded;
    } rows[] = {
        {"1 an ended save's copy", {{TemporaryOf(ended.Id), Settings(newer)}}, newer},
        {"2 the newer of two", {{TemporaryOf(ended.Id, "0002"), Settings(older)}, {TemporaryOf(ended.Id), Settings(newer)}}, newer},
        {"3 a copy without WaveName", {{TemporaryOf(ended.Id), lacking}}, kDefaults},
        {"4 a running writer's", {{TemporaryOf(running.Id), Settings(newer)}}, kDefaults},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RemoveFile(AppDataIniPath());
        int age = static_cast<int>(row.left.size());
        for (const auto& [path, content] : row.left) {
            ASSERT_TRUE(WriteFileBytes(path, content));
            ASSERT_TRUE(aged(path, age--));
        }
        SignalSettings loaded(kResources);
        loaded.InitialLoad(0);
        EXPECT_EQ(ValuesOf(loaded), row.loaded);
        EXPECT_EQ(FileExists(AppDataIniPath()), !(row.loaded == kDefaults));
        for (const auto& [path, content] : row.left) RemoveFile(path);
    }
}

// The file moves as it is on disk, whatever the record holds; a move that cannot be made
// leaves both files and the flag as they were. The folders are the host's: never made.
TEST_F(SettingsFileTest, ChangePortableModeMovesTheFileOrChangesNothing) {
    const std::string roaming = Settings("Enable=1\r\nWaveName=roaming.wav\r\n");
    const std::string beside = Settings("Enable=0\r\nWaveName=beside.wav\r\n");
    const std::optional<std::string> none;
    const std::string appDataIni = AppDataIniPath();
    const std::string portableIni = PortableIniPath();
    const std::string* nobody = nullptr;
    const struct {
        const char* name;
        int modeBefore;
        int mode;
        bool appDataFolders;
        std::optional<std::string> appData, portable;
        const std::string* held;  // file another program holds open during the move
        int result;
        int modeAfter;
        std::optional<std::string> appDataAfter, portableAfter;
    } cases[] = {
        {"1 to portable", 0, 1, true, roaming, none, nobody, 1, 1, none, roaming},
        {"2 to portable, replacing", 0, 1, true, roaming, beside, nobody, 1, 1, none, roaming},
        {"3 to portable, any non-zero flag", 0, 2, true, roaming, none, nobody, 1, 2, none, roaming},
        {"4 to portable while already portable", 1, 1, true, roaming, beside, nobody, 1, 1, none, roaming},
        {"5 to portable, no application-data file", 0, 1, true, none, beside, nobody, 0, 0, none, beside},
        {"6 to portable, target held open", 0, 1, true, roaming, beside, &portableIni, 0, 0, roaming, beside},
        {"7 to portable, source held open", 0, 1, true, roaming, none, &appDataIni, 0, 0, roaming, none},
        {"8 to application data", 1, 0, true, none, beside, nobody, 1, 0, beside, none},
        {"9 to application data, replacing", 1, 0, true, roaming, beside, nobody, 1, 0, beside, none},
        {"10 to application data while already there", 0, 0, true, roaming, beside, nobody, 1, 0, beside, none},
        {"11 to app. data while already there, no portable file", 0, 0, true, roaming, none, nobody, 0, 0, roaming, none},
        {"12 to application data, folders missing", 1, 0, false, none, beside, nobody, 0, 1, none, beside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Start(c.appDataFolders));
        if (c.appData) { ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), *c.appData)); }
        if (c.portable) { ASSERT_TRUE(WriteFileBytes(PortableIniPath(), *c.portable)); }
        ExclusiveFile lock(c.held ? *c.held : std::string());
        ASSERT_EQ(lock.Held(), c.held != nullptr);

        SignalSettings moving(kResources);
        moving.SetPortableMode(c.modeBefore);
        moving.Enable = 3;
        std::strcpy(moving.WaveName, "in-memory.wav");

        EXPECT_EQ(moving.ChangePortableMode(c.mode), c.result);
        EXPECT_EQ(moving.PortableMode, c.modeAfter);
        // The next save, the unload's included, goes where the file now is.
        EXPECT_EQ(std::string(moving.IniPath), c.modeAfter ? portableIni : appDataIni);
        lock.Release();
        EXPECT_EQ(ReadFileBytes(AppDataIniPath()), c.appDataAfter);
        EXPECT_EQ(ReadFileBytes(PortableIniPath()), c.portableAfter);
        EXPECT_EQ(FolderExists(ProductFolder()), c.appDataFolders);
    }
}

}  // namespace
