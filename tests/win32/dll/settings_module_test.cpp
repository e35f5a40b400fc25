// The settings as the host meets them through the real DLL: which file InitialLoad reads,
// what StartModule answers, and where the settings land when the DLL is unloaded. This
// executable is the host, so the portable file lies beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "support/message_window.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

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
    MessageWindow window;
    ASSERT_NE(window.Get(), nullptr);
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    module.Api.SetParentWindow(window.Get());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.portable);
        EXPECT_EQ(module.Api.InitialLoad(row.portable), row.read);
        EXPECT_EQ(module.Api.IsModuleEnable(), row.enable);
        EXPECT_EQ(module.Api.StartModule(), row.enable);
        // StopModule reports whether a timer was pending.
        EXPECT_EQ(module.Api.StopModule() != 0, row.enable != 0);
    }
}

// The settings files hold only Enable=1 at the start, so the keys that the unload adds show
// where it wrote; the other place is left as it was (SetPortableMode moves nothing). Without
// InitialLoad (the host only asked QueryVekModule), or when the shell could not name the
// application-data folder at the load, the unload writes nothing at all. The unload runs in
// the loader's lock, at process exit after the shell has shut down: it writes to the path
// worked out when the mode was set, loads nothing and asks the shell nothing.
TEST_F(SettingsModuleTest, UnloadSavesWhereThePortableFlagThenPoints) {
    const std::string enabled = Settings("Enable=1\r\n");
    const struct {
        const char* name;
        bool appDataFile, portableFile;
        int initialLoad;  // -1: not called; 2: InitialLoad(0) while the shell fails, back after
        int setPortable;  // -1: not called; 2: SetPortableMode(1) while the host's path is too long
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
        if (c.setPortable >= 0) { EXPECT_EQ(module.Api.SetPortableMode(c.setPortable ? 1 : 0), 0); }
        if (c.change >= 0) { EXPECT_EQ(module.Api.ChangePortableMode(c.change), c.changeResult); }
        const recorded::Record before = recorded::Snapshot();
        module.Unload();  // hooked still
        const recorded::Record after = recorded::Snapshot();
        EXPECT_EQ(before.Libraries.size(), after.Libraries.size()) << "a library loaded at unload";
        EXPECT_EQ(before.Lookups + before.FoundCalls, after.Lookups + after.FoundCalls) << "the unload asked the shell";
        const std::string saved = c.savedBeside ? PortableIniPath() : AppDataIniPath();
        const std::string other = c.savedBeside ? AppDataIniPath() : PortableIniPath();
        if (c.initialLoad < 0 || c.initialLoad == 2 || c.setPortable == 2) {
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

}  // namespace
