// The one-time import of the earlier release's registry store, against the real registry and
// real settings files in the Wine prefix: what InitialLoad imports and where it writes it,
// when the old keys go, and what odd registry values turn into.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/legacy_registry.h"
#include "settings/signal_settings.h"
#include "support/legacy_registry_store.h"
#include "support/settings_files.h"
#include "support/setting_values.h"
#include "tests/cases/wave_name_cuts.h"

namespace {

// The module's string table: this executable links it.
const HINSTANCE kResources = GetModuleHandleA(nullptr);

using Values = SettingValues;

// ---------------------------------------------------------------------------------------
// InitialLoad

TEST(LegacyImport, InitialLoadImportsOnceThenReadsTheFile) {
    ASSERT_EQ(GetACP(), 932u);
    const Values full{1, 0, 900, 0, kJapaneseWave};
    const Values onlyEnable{1, 0, 0xFFFFFFFFu, 0, ""};
    const struct {
        const char* name;
        int portable;
        bool allValues;
        Values expected;
    } cases[] = {
        {"all five values", 0, true, full},
        {"only Enable", 0, false, onlyEnable},
        {"all five values, beside the host", 1, true, {1, 1, 3600, 1, "C:\\Sounds\\chime.wav"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyRegistrySandbox registry;
        SettingsFilesSandbox files;
        ASSERT_TRUE(files.CreateAppDataFolders());
        ASSERT_TRUE(c.allValues ? registry.CreateLegacyStore(c.expected)
                                : registry.CreateLegacyStore() &&
                                      SetRegistryNumber(HKEY_CURRENT_USER, kLegacyKey, "Enable", 1));
        // Everything below the two old keys goes with them; their neighbours stay.
        const std::string below = "\\Below";
        ASSERT_TRUE(SetRegistryNumber(HKEY_CURRENT_USER, kLegacyKey + below, "x", 1));
        ASSERT_TRUE(SetRegistryNumber(HKEY_LOCAL_MACHINE, kUninstallEntry + below, "x", 1));
        ASSERT_TRUE(SetRegistryNumber(HKEY_CURRENT_USER, "Software\\Tivrand\\Other", "x", 1));
        const std::string written = c.portable ? PortableIniPath() : AppDataIniPath();
        const std::string other = c.portable ? AppDataIniPath() : PortableIniPath();

        SignalSettings imported(kResources);
        FillWithSentinels(imported);
        EXPECT_EQ(imported.InitialLoad(c.portable), 0);
        EXPECT_EQ(ValuesOf(imported), c.expected);
        ExpectFileHolds(written, c.expected);
        EXPECT_FALSE(FileExists(other));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tivrand\\Other"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallFolder));
        EXPECT_EQ(HasLegacyRegistry(kResources), 0);
        EXPECT_EQ(DeleteLegacyRegistry(kResources), 0) << "nothing left to delete is no failure";

        SignalSettings reloaded(kResources);
        EXPECT_EQ(reloaded.InitialLoad(c.portable), static_cast<int>(c.expected.WaveName.size()));
        EXPECT_EQ(ValuesOf(reloaded), c.expected);
    }
}

TEST(LegacyImport, WithoutTheLegacyKeyNoKeyIsMadeOrRemoved) {
    const std::string file = "[Orlune]\r\nEnable=1\r\nWaveName=file.wav\r\n";
    for (bool neighbours : {false, true}) {  // another product's key and the old uninstall entry
        SCOPED_TRACE(neighbours);
        LegacyRegistrySandbox registry;
        SettingsFilesSandbox files;
        ASSERT_TRUE(files.CreateAppDataFolders());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), file));
        if (neighbours) {
            ASSERT_TRUE(SetRegistryNumber(HKEY_CURRENT_USER, "Software\\Tivrand\\Other", "x", 0));
            ASSERT_TRUE(SetRegistryText(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName", "x"));
        }
        SignalSettings loaded(kResources);
        EXPECT_EQ(loaded.InitialLoad(0), 8);
        EXPECT_EQ(loaded.Enable, 1);
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kVendorKey), neighbours);
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Software\\Tivrand\\Other"), neighbours);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry), neighbours);
        EXPECT_EQ(ReadFileBytes(AppDataIniPath()), file);
    }
}

// Deleting the legacy store before its values reached the file would lose them for good.
TEST(LegacyImport, ASaveThatFailsKeepsTheLegacyStoreForTheNextStart) {
    const Values legacy{1, 1, 1800, 1, "legacy.wav"};
    const struct {
        const char* name;
        bool folders;
        bool fileHeldOpen;
    } cases[] = {
        {"application-data folders missing", false, false},
        {"settings file held open by another program", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyRegistrySandbox registry;
        SettingsFilesSandbox files;
        if (c.folders) { ASSERT_TRUE(files.CreateAppDataFolders()); }
        if (c.fileHeldOpen) {
            ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), "[Orlune]\r\nEnable=0\r\n"));
        }
        ASSERT_TRUE(registry.CreateLegacyStore(legacy));
        {
            ExclusiveFile lock(c.fileHeldOpen ? AppDataIniPath() : std::string());
            SignalSettings failed(kResources);
            EXPECT_EQ(failed.InitialLoad(0), 0);
            EXPECT_EQ(ValuesOf(failed), legacy);  // the session still runs with the imported values
            EXPECT_FALSE(failed.SaveToIni());
        }
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
        EXPECT_EQ(FolderExists(ProductFolder()), c.folders) << "the folders are the host's";

        ASSERT_TRUE(files.CreateAppDataFolders());
        SignalSettings retried(kResources);
        EXPECT_EQ(retried.InitialLoad(0), 0);
        ExpectFileHolds(AppDataIniPath(), legacy);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
    }
}

// ---------------------------------------------------------------------------------------
// ImportFromRegistry

// WaveName is read as text only, and always ends up terminated within 259 bytes, never in
// half a double-byte character. (Numbers of every type and size: dll.Reliability.)
TEST(LegacyImport, WaveNamesAreTerminatedAndCut) {
    const auto wave = [](const std::string& name) { return Values{0, 0, 0xFFFFFFFFu, 0, name}; };
    const auto run = [](std::size_t count, char c) { return std::string(count, c); };
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
        Values expected;
    } cases[] = {
        {"1 name as number", REG_DWORD, "AAAA", kDefaults},
        {"2 without terminator", REG_SZ, "abc", wave("abc")},
        {"3 260 bytes, no terminator", REG_SZ, run(260, 'b'), wave(run(259, 'b'))},
        {"4 260 bytes and terminator", REG_SZ, run(260, 'e') + '\0', wave(run(259, 'e'))},
        {"5 261 bytes, no terminator", REG_SZ, run(261, 'f'), kDefaults},
        // At the size the query is handed: 261 bytes in all are read, 262 are too many.
        {"6 259 bytes, no terminator", REG_SZ, run(259, 'g'), wave(run(259, 'g'))},
        {"7 259 bytes and terminator", REG_SZ, run(259, 'h') + '\0', wave(run(259, 'h'))},
        {"8 261 bytes and terminator", REG_SZ, run(261, 'i') + '\0', kDefaults},
        {"9 259 bytes and two terminators", REG_SZ, run(259, 'j') + std::string(2, '\0'), wave(run(259, 'j'))},
    };
    const auto check = [](DWORD type, const std::string& bytes, const Values& expected) {
        LegacyRegistrySandbox registry;
        ASSERT_TRUE(SetRegistryValue(HKEY_CURRENT_USER, kLegacyKey, "WaveName", type, bytes));
        SignalSettings imported(kResources);
        FillWithSentinels(imported);
        EXPECT_TRUE(ImportFromRegistry(kResources, imported));
        EXPECT_EQ(ValuesOf(imported), expected);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        check(c.type, c.bytes, c.expected);
    }
    // The names every layer cuts, as terminated text: a text over 260 bytes is no name.
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        check(REG_SZ, c.Text + '\0', wave(c.Text.size() <= 260 ? c.Kept : ""));
    }
}

}  // namespace
