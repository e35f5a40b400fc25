// The settings record against real settings files in the Wine prefix: what a load gives,
// what a save writes, which of the two places is used, and the move between them. This
// executable stands in for the host, so the portable file lies beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_paths.h"
#include "settings/signal_settings.h"
#include "support/import_hook.h"
#include "tests/cases/wave_name_cuts.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

HINSTANCE Resources() {
    return GetModuleHandleA(nullptr);  // this executable links the module's string table
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 932u) << "tests expect the Japanese ANSI code page";
        ASSERT_TRUE(files.CreateAppDataFolders());
    }

    // Declared first so it is destroyed last: the record saves itself when destroyed.
    SettingsFilesSandbox files;
    SignalSettings settings{Resources()};
};

// ---------------------------------------------------------------------------------------
// Loading

TEST_F(SettingsFileTest, LoadWithoutTheSettingsGivesTheDefaults) {
    const struct {
        const char* name;
        std::optional<std::string> file;
    } cases[] = {
        {"missing file", std::nullopt},
        {"empty file", std::string()},
        {"other section only", std::string("[Other]\r\nEnable=1\r\nWaveName=x.wav\r\n")},
        {"empty section", Settings("")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveFile(AppDataIniPath());
        if (c.file) {
            ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), *c.file));
        }
        SignalSettings loaded(Resources());
        // Values a previous load might have left must not survive.
        loaded.Enable = 5;
        loaded.SignalType = 5;
        loaded.Interval = 60;
        loaded.TimeType = 5;
        std::strcpy(loaded.WaveName, "stale.wav");
        EXPECT_EQ(loaded.InitialLoad(0), 0);
        EXPECT_EQ(loaded.Enable, 0);
        EXPECT_EQ(loaded.SignalType, 0);
        EXPECT_EQ(loaded.Interval, 0xFFFFFFFFu);
        EXPECT_EQ(loaded.TimeType, 0);
        EXPECT_STREQ(loaded.WaveName, "");
        loaded.HasLoaded = false;  // leave the file as the next case expects it
    }
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

TEST_F(SettingsFileTest, LoadReadsEveryKeyWhateverTheCaseOfTheNames) {
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(),
                               "[orlune]\r\nenable=1\r\nSIGNALTYPE=1\r\nInterval=3600\r\n"
                               "timetype=1\r\nWaveName=" + kJapaneseWave + "\r\n"));
    EXPECT_EQ(settings.InitialLoad(0), static_cast<int>(kJapaneseWave.size()));
    EXPECT_EQ(settings.PortableMode, 0);
    EXPECT_EQ(settings.Enable, 1);
    EXPECT_EQ(settings.SignalType, 1);
    EXPECT_EQ(settings.Interval, 3600u);
    EXPECT_EQ(settings.TimeType, 1);
    EXPECT_EQ(std::string(settings.WaveName), kJapaneseWave);
}

TEST_F(SettingsFileTest, IntervalNoneSurvivesLoadAndSave) {
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), Settings("Interval=4294967295\r\n")));
    settings.InitialLoad(0);
    EXPECT_EQ(settings.Interval, 0xFFFFFFFFu);
    settings.SaveToIni();
    EXPECT_EQ(IniText::FromFile(AppDataIniPath()).Value(kSection, "Interval"), "4294967295");
}

TEST_F(SettingsFileTest, LongWaveNamesAreCutTo259BytesOnACharacterBoundary) {
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        RemoveFile(AppDataIniPath());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), Settings("WaveName=" + c.Text + "\r\n")));
        SignalSettings loaded(Resources());
        std::memset(loaded.WaveName, 'Z', sizeof loaded.WaveName);
        EXPECT_EQ(loaded.InitialLoad(0), static_cast<int>(c.Kept.size()));
        EXPECT_EQ(std::string(loaded.WaveName), c.Kept);
        loaded.HasLoaded = false;
    }
}

// ---------------------------------------------------------------------------------------
// Saving

TEST_F(SettingsFileTest, SaveWritesTheFiveKeysInOrder) {
    const struct {
        int enable, signalType;
        DWORD interval;
        int timeType;
        std::string waveName;
        std::vector<std::string> expected;
    } cases[] = {
        {1, 1, 3600, 0, "C:\\Sounds\\chime.wav", {"1", "1", "3600", "0", "C:\\Sounds\\chime.wav"}},
        {0, 0, 0xFFFFFFFFu, 1, "", {"0", "0", "4294967295", "1", ""}},
        {1, 0, 60, 0, kJapaneseWave, {"1", "0", "60", "0", kJapaneseWave}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected[2]);
        RemoveFile(AppDataIniPath());
        SignalSettings saved(Resources());
        saved.PortableMode = 0;
        saved.Enable = c.enable;
        saved.SignalType = c.signalType;
        saved.Interval = c.interval;
        saved.TimeType = c.timeType;
        std::strcpy(saved.WaveName, c.waveName.c_str());
        saved.SaveToIni();

        const IniText ini = IniText::FromFile(AppDataIniPath());
        EXPECT_EQ(ini.Keys(kSection), std::vector<std::string>(std::begin(kKeysInOrder),
                                                                std::end(kKeysInOrder)));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(ini.Value(kSection, kKeysInOrder[i]), c.expected[i]);
    }
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

TEST_F(SettingsFileTest, A259ByteWaveNameSurvivesSaveAndLoad) {
    std::string name = "C:\\" + kSo;
    name += std::string(259 - name.size() - 4, 'w') + ".wav";
    ASSERT_EQ(name.size(), 259u);
    settings.InitialLoad(0);
    std::strcpy(settings.WaveName, name.c_str());
    settings.SaveToIni();
    EXPECT_EQ(IniText::FromFile(AppDataIniPath()).Value(kSection, "WaveName"), name);

    SignalSettings reloaded(Resources());
    EXPECT_EQ(reloaded.InitialLoad(0), 259);
    EXPECT_EQ(std::string(reloaded.WaveName), name);
}

TEST_F(SettingsFileTest, SaveKeepsSectionsAndKeysItDoesNotOwn) {
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(),
                               "[User]\r\nNote=keep me\r\n[Orlune]\r\nEnable=0\r\nColour=blue\r\n"
                               "WaveName=old.wav\r\n[Tail]\r\nLast=1\r\n"));
    settings.InitialLoad(0);
    settings.Enable = 1;
    std::strcpy(settings.WaveName, "new.wav");
    settings.SaveToIni();

    const IniText ini = IniText::FromFile(AppDataIniPath());
    EXPECT_EQ(ini.Value("User", "Note"), "keep me");
    EXPECT_EQ(ini.Value(kSection, "Colour"), "blue");
    EXPECT_EQ(ini.Value("Tail", "Last"), "1");
    EXPECT_EQ(ini.Value(kSection, "Enable"), "1");
    EXPECT_EQ(ini.Value(kSection, "WaveName"), "new.wav");
    EXPECT_EQ(ini.Value(kSection, "Interval"), "4294967295");
}

TEST_F(SettingsFileTest, SaveThatCannotWriteFailsQuietly) {
    // A settings file that another program holds open stays as it was.
    const std::string held = Settings("Enable=0\r\nWaveName=kept.wav\r\n");
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), held));
    settings.InitialLoad(0);
    {
        ExclusiveFile lock(AppDataIniPath());
        ASSERT_TRUE(lock.Held());
        settings.Enable = 1;
        settings.SaveToIni();
    }
    EXPECT_EQ(ReadFileBytes(AppDataIniPath()), held);
    RemoveFile(AppDataIniPath());

    // Without {AppData}\Bexmoor\Pandrel nothing is written and no folder is made.
    RemoveDirectoryA(ProductFolder().c_str());
    RemoveDirectoryA(VendorFolder().c_str());
    ASSERT_FALSE(FolderExists(VendorFolder()));
    settings.SaveToIni();
    EXPECT_FALSE(FolderExists(VendorFolder()));
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

TEST_F(SettingsFileTest, NothingIsSavedWhenNoLoadHasRun) {
    { SignalSettings unloaded(Resources()); }
    EXPECT_FALSE(FileExists(AppDataIniPath()));
    EXPECT_FALSE(FileExists(PortableIniPath()));
}

// ---------------------------------------------------------------------------------------
// The two places

TEST_F(SettingsFileTest, PortableModeChoosesTheFileForEveryLoadAndSave) {
    char path[kPathBytes];
    ASSERT_TRUE(GetAppDataIniPath(Resources(), path));
    EXPECT_EQ(std::string(path), AppDataIniPath());
    ASSERT_TRUE(GetPortableIniPath(Resources(), path));
    EXPECT_EQ(std::string(path), PortableIniPath());

    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), Settings("Enable=1\r\nWaveName=roaming.wav\r\n")));
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(), Settings("Enable=0\r\nWaveName=beside.wav\r\n")));
    const struct {
        int portable;
        const char* waveName;
        int enable;
        std::string written;
    } cases[] = {
        {0, "roaming.wav", 1, AppDataIniPath()},
        {1, "beside.wav", 0, PortableIniPath()},
        {7, "beside.wav", 0, PortableIniPath()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.portable);
        SignalSettings loaded(Resources());
        EXPECT_EQ(loaded.InitialLoad(c.portable), static_cast<int>(std::strlen(c.waveName)));
        EXPECT_STREQ(loaded.WaveName, c.waveName);
        EXPECT_EQ(loaded.Enable, c.enable);
        ASSERT_TRUE(loaded.GetIniPath(path));
        EXPECT_EQ(std::string(path), c.written);
        loaded.SignalType = 1;
        loaded.SaveToIni();
        EXPECT_EQ(IniText::FromFile(c.written).Value(kSection, "SignalType"), "1");
        loaded.HasLoaded = false;
    }

    // SetPortableMode only records the flag; the next save follows it.
    const auto portableBefore = ReadFileBytes(PortableIniPath());
    settings.InitialLoad(0);
    settings.SetPortableMode(1);
    EXPECT_EQ(settings.PortableMode, 1);
    EXPECT_TRUE(FileExists(AppDataIniPath()));
    EXPECT_EQ(ReadFileBytes(PortableIniPath()), portableBefore);
    settings.TimeType = 1;
    settings.SaveToIni();
    EXPECT_EQ(IniText::FromFile(PortableIniPath()).Value(kSection, "TimeType"), "1");
    EXPECT_EQ(IniText::FromFile(PortableIniPath()).Value(kSection, "WaveName"), "roaming.wav");
}

// ---------------------------------------------------------------------------------------
// Moving between the two places

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
        {"to portable", 0, 1, true, roaming, none, nobody, 1, 1, none, roaming},
        {"to portable, replacing", 0, 1, true, roaming, beside, nobody, 1, 1, none, roaming},
        {"to portable, any non-zero flag", 0, 2, true, roaming, none, nobody, 1, 2, none, roaming},
        {"to portable while already portable", 1, 1, true, roaming, beside, nobody, 1, 1, none,
         roaming},
        {"to portable, no application-data file", 0, 1, true, none, beside, nobody, 0, 0, none,
         beside},
        {"to portable, target held open", 0, 1, true, roaming, beside, &portableIni, 0, 0, roaming,
         beside},
        {"to portable, source held open", 0, 1, true, roaming, none, &appDataIni, 0, 0, roaming,
         none},
        {"to application data", 1, 0, true, none, beside, nobody, 1, 0, beside, none},
        {"to application data, replacing", 1, 0, true, roaming, beside, nobody, 1, 0, beside, none},
        {"to application data while already there", 0, 0, true, roaming, beside, nobody, 1, 0,
         beside, none},
        {"to application data while already there, no portable file", 0, 0, true, roaming, none,
         nobody, 0, 0, roaming, none},
        {"to application data, folders missing", 1, 0, false, none, beside, nobody, 0, 1, none,
         beside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveFile(AppDataIniPath());
        RemoveFile(PortableIniPath());
        if (c.appDataFolders) {
            ASSERT_TRUE(files.CreateAppDataFolders());
        } else {
            RemoveDirectoryA(ProductFolder().c_str());
            RemoveDirectoryA(VendorFolder().c_str());
            ASSERT_FALSE(FolderExists(VendorFolder()));
        }
        if (c.appData) {
            ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), *c.appData));
        }
        if (c.portable) {
            ASSERT_TRUE(WriteFileBytes(PortableIniPath(), *c.portable));
        }
        ExclusiveFile lock(c.held ? *c.held : std::string());
        ASSERT_EQ(lock.Held(), c.held != nullptr);

        SignalSettings moving(Resources());
        moving.PortableMode = c.modeBefore;
        // The file moves with what it holds on disk, not with the record's values.
        moving.Enable = 3;
        std::strcpy(moving.WaveName, "in-memory.wav");

        EXPECT_EQ(moving.ChangePortableMode(c.mode), c.result);
        EXPECT_EQ(moving.PortableMode, c.modeAfter);
        lock.Release();
        EXPECT_EQ(ReadFileBytes(AppDataIniPath()), c.appDataAfter);
        EXPECT_EQ(ReadFileBytes(PortableIniPath()), c.portableAfter);
        EXPECT_EQ(FolderExists(ProductFolder()), c.appDataFolders) << "folders are the host's";
    }
}

// ---------------------------------------------------------------------------------------
// A host folder so deep that the portable path does not fit its 260-byte buffer. A copy
// of this executable, started from such a folder, plays the host; the child test below
// runs only there.

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder, length);  // ends in a backslash
}

// A new folder under the temporary folder whose path, with its trailing backslash, is
// exactly `length` characters (all ASCII, so as many bytes).
std::wstring MakeFolderOfLength(std::size_t length) {
    std::wstring folder = TempFolder() + L"karvex-deep-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() + 1 < length) {
        const std::size_t remaining = length - 1 - folder.size();  // "\name" still to add
        std::size_t name = remaining - 1 < 100 ? remaining - 1 : 100;
        if (remaining - 1 - name == 1) --name;  // never leave room for a backslash alone
        folder += L"\\" + std::wstring(name, L'd');
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    return folder + L"\\";
}

class DeepFolder {
public:
    explicit DeepFolder(std::size_t length)
        : root_(TempFolder() + L"karvex-deep-" + std::to_wstring(GetCurrentProcessId())),
          path_(MakeFolderOfLength(length)) {}
    ~DeepFolder() { RemoveTreeW(root_); }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring root_;
    std::wstring path_;
};

// The deep folders are ASCII: one byte a character.
std::string Narrow(const std::wstring& ascii) {
    return std::string(ascii.begin(), ascii.end());
}

// The host's executable as the module asks for it (GetModuleFileNameA without a module),
// answered from a deep folder; every other question goes to the system.
std::string DeepHostExe;

DWORD WINAPI HostInDeepFolder(HMODULE module, LPSTR path, DWORD size) {
    if (module != nullptr) return GetModuleFileNameA(module, path, size);
    const DWORD length = static_cast<DWORD>(DeepHostExe.size());
    if (size == 0) return 0;
    const DWORD copied = length < size ? length : size - 1;
    std::memcpy(path, DeepHostExe.data(), copied);
    path[copied] = '\0';
    return copied;
}

// A host folder of 249 bytes leaves room for "Orlune.ini" within 259; of 250 it does not, and
// then the portable file is neither read nor written nor moved to: a cut path would be
// another file.
TEST(SettingsDeepHostFolder, APortablePathOver259BytesIsNeverUsed) {
    ASSERT_EQ(GetACP(), 932u);
    SettingsFilesSandbox files;
    ASSERT_TRUE(files.CreateAppDataFolders());
    const std::string roaming = Settings("Enable=0\r\nWaveName=roaming.wav\r\n");
    const std::string beside = Settings("Enable=1\r\nWaveName=deep.wav\r\n");
    const ImportHook hook(GetModuleHandleA(nullptr), "KERNEL32.dll", "GetModuleFileNameA",
                          HookAddress(&HostInDeepFolder));
    ASSERT_TRUE(hook.Installed());

    for (std::size_t length : {249u, 250u}) {
        SCOPED_TRACE(length);
        const bool fits = length + std::strlen("Orlune.ini") <= 259;
        DeepFolder folder(length);
        ASSERT_EQ(folder.Path().size(), length);
        DeepHostExe = Narrow(folder.Path()) + "k.exe";
        const std::wstring deepIni = folder.Path() + L"Orlune.ini";
        ASSERT_TRUE(WriteFileBytesW(deepIni, beside));
        RemoveFile(AppDataIniPath());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), roaming));

        char path[kPathBytes];
        std::memset(path, 'x', sizeof path);
        EXPECT_EQ(GetPortableIniPath(Resources(), path), fits);
        EXPECT_EQ(std::string(path), fits ? Narrow(deepIni) : "");
        {
            SignalSettings settings(Resources());
            EXPECT_EQ(settings.InitialLoad(1), fits ? 8 : 0);
            EXPECT_STREQ(settings.WaveName, fits ? "deep.wav" : "");
            settings.SignalType = 1;
            settings.SaveToIni();
            EXPECT_EQ(settings.ChangePortableMode(1), fits ? 1 : 0);
            if (!fits) {
                EXPECT_EQ(settings.ChangePortableMode(0), 0);
            }
            EXPECT_EQ(settings.PortableMode, 1);  // and the record saves itself there once more
        }
        EXPECT_EQ(FolderEntriesW(folder.Path()).size(), 1u) << "a file was written beside the deep host";
        if (fits) {
            // Loaded, saved, moved over, and saved again at detach.
            EXPECT_FALSE(FileExists(AppDataIniPath()));
            const IniText ini(ReadFileBytesW(deepIni).value_or(""));
            EXPECT_EQ(ini.Value(kSection, "WaveName"), "deep.wav");
            EXPECT_EQ(ini.Value(kSection, "SignalType"), "1");
        } else {
            EXPECT_EQ(ReadFileBytesW(deepIni), beside);
            EXPECT_EQ(ReadFileBytes(AppDataIniPath()), roaming);
        }
    }
}

}  // namespace
