// Saves that real processes cut short or race: a child that saves two sets of values in turn,
// ended at a random moment, 100 times; and two children saving at once, 20 rounds. Every file
// left holds one set or the other, whole, with the user's own sections. The files live in a
// folder of their own, so this suite runs beside the other unit tests (tests/fast_run.py).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "settings/signal_settings.h"
#include "support/child_process.h"
#include "support/settings_files.h"
#include "support/setting_values.h"
#include "win32/scoped_win.h"

namespace {

const HINSTANCE kResources = GetModuleHandleA(nullptr);
constexpr char kChild[] = "KARVEX_SAVING_CHILD";  // "<set: 0, 1 or 2 for both in turn> <saves>"
const SettingValues kSets[] = {{1, 0, 300, 0, "C:\\first.wav"}, {0, 1, 3600, 1, kJapaneseWave}};
const std::string kUsersOwn = "; the user's\r\n[Mine]\r\nKeep=1\r\n\r\n[Orlune]\r\nOther=kept\r\n"
                              "Enable=9\r\n\r\n[Tail]\r\nImportant=keep-me\r\n";

std::string SoakFolder() { return TempPath("karvex-save-soak"); }
std::string SoakIni() { return SoakFolder() + "\\Orlune.ini"; }

// The child: `saves` saves (0: until it is ended) of one set, or of both in turn.
void RunChild(int set, int saves) {
    SignalSettings settings(kResources);
    std::strcpy(settings.IniPath, SoakIni().c_str());
    for (int i = 0; saves == 0 || i < saves; ++i) {
        SetValues(settings, kSets[set == 2 ? i % 2 : set]);
        settings.SaveToIni();
    }
    ExitProcess(0);
}

// A child saving `saves` times (0: until it is ended) the set `set` (2: both in turn).
HANDLE StartChild(int set, int saves) {
    ChildProcess child("--gtest_filter=SaveSoak.*", kChild, std::to_string(set) + " " + std::to_string(saves));
    return child.Process.Detach();
}

// The file holds one set whole (which one, or -1), and the user's own lines.
int WholeSet(const std::string& path) {
    const IniText ini = IniText::FromFile(path);
    EXPECT_EQ(ini.Value("Mine", "Keep"), "1");
    EXPECT_EQ(ini.Value("Tail", "Important"), "keep-me");
    EXPECT_EQ(ini.Value("Orlune", "Other"), "kept");
    for (int set = 0; set < 2; ++set) {
        const auto written = AsWritten(kSets[set]);
        bool all = true;
        for (int k = 0; k < 5; ++k) all = all && ini.Value("Orlune", kKeysInOrder[k]) == written[k];
        if (all) return set;
    }
    return -1;
}

class SaveSoak : public ::testing::Test {
protected:
    void SetUp() override {
        char child[32] = "";
        if (GetEnvironmentVariableA(kChild, child, sizeof child) != 0) {
            int set = 0, saves = 0;
            std::sscanf(child, "%d %d", &set, &saves);
            RunChild(set, saves);
        }
        RemoveTreeW(Widen(SoakFolder()));
        ASSERT_TRUE(CreateDirectoryA(SoakFolder().c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(SoakIni(), kUsersOwn));
    }
    void TearDown() override { RemoveTreeW(Widen(SoakFolder())); }
};

}  // namespace

// A launcher ended from the task manager in the middle of a save, 100 times.
TEST_F(SaveSoak, AKilledSaveLeavesTheOldFileOrTheNewWhole) {
    std::mt19937 random(20261208);
    int seen[2] = {};
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        const std::string before = ReadFileBytes(SoakIni()).value_or("");
        const scoped::Handle child(StartChild(2, 0));
        ASSERT_TRUE(child);
        // From its first save on, then a moment more.
        for (int waited = 0; ReadFileBytes(SoakIni()).value_or("") == before && waited < 5000; waited += 2) {
            Sleep(2);
        }
        Sleep(std::uniform_int_distribution<DWORD>(0, 20)(random));
        ASSERT_TRUE(TerminateProcess(child.Get(), 9));
        WaitForSingleObject(child.Get(), 5000);
        const int set = WholeSet(SoakIni());
        ASSERT_NE(set, -1) << ReadFileBytes(SoakIni()).value_or("(none)");
        ++seen[set];
    }
    std::printf("100 kills: the first set left %d times, the second %d\n", seen[0], seen[1]);
    // What the killed saves left beside the file goes with the next save.
    SignalSettings settings(kResources);
    std::strcpy(settings.IniPath, SoakIni().c_str());
    settings.Enable = 1;
    EXPECT_TRUE(settings.SaveToIni());
    EXPECT_EQ(TemporariesBeside(SoakIni()), std::vector<std::string>{});
}

// Two launchers saving the same file at once: the user's sections survive every round.
TEST_F(SaveSoak, TwoProcessesSavingAtOnceKeepTheUsersSections) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const scoped::Handle first(StartChild(0, 40)), second(StartChild(1, 40));
        ASSERT_TRUE(first && second);
        const HANDLE both[] = {first.Get(), second.Get()};
        ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_NE(WholeSet(SoakIni()), -1) << ReadFileBytes(SoakIni()).value_or("(none)");
    }
}
