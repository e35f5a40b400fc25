// Bad input and faults met by the real module, each run as the host runs it: load, InitialLoad,
// SetParentWindow, StartModule, one timer firing, StopModule, unload. The clock, the first
// timer's delay, sleeps and sounds are redirected through the module's import table
// (support/recorded_system.h), so nothing waits or plays; settings files, folders and profile
// functions are real. Every case must end within 3 s, write to no file but the settings file, and
// leave every line of that file that the module does not own as it was.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/host_session.h"
#include "support/legacy_registry_store.h"
#include "support/recorded_system.h"
#include "support/setting_dialog_driver.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

constexpr DWORD kCaseLimitMs = 3000;
constexpr char kBom[] = "\xEF\xBB\xBF";

// ---------------------------------------------------------------------------------------
// What the module understood, as it writes it back and as it plays it.

using Understood = SettingValues;  // as the module holds them (the name in code page 932)

// How often one firing at 15:00:05 plays.
int PlaysAtThree(const Understood& u) {
    if (u.Enable == 0 || u.WaveName.empty()) return 0;
    if (u.Interval == 0xFFFFFFFFu || u.Interval < 60) return 0;
    if (u.SignalType == 0) return 1;
    return u.TimeType != 0 ? 15 : 3;
}

// The number kKeysInOrder[index] (0-3) set to `value`.
void SetNumber(Understood& u, int index, DWORD value) {
    if (index == 0) u.Enable = static_cast<int>(value);
    if (index == 1) u.SignalType = static_cast<int>(value);
    if (index == 2) u.Interval = value;
    if (index == 3) u.TimeType = static_cast<int>(value);
}

// ---------------------------------------------------------------------------------------
// An INI text as the lines the module does not own, each with its section and which section
// of that name it is in ("before#0: Note = keep me"), blanks trimmed and blank lines dropped;
// and the values of each of the module's own keys (by lower-case name) in the first [Orlune].
// (IniText would merge sections of one name and skip comments, both of which must survive.)

struct IniLines {
    std::vector<std::string> Others;
    std::map<std::string, std::vector<std::string>> Own;
};

IniLines Lines(const std::string& text) {
    IniLines lines;
    for (const IniLine& line : ReadIniLines(text)) {
        const std::string section = Lower(line.Section) + "#" + std::to_string(line.SectionIndex);
        const std::string value = line.Value.value_or("(no '=')");
        const bool own = section == "orlune#0" &&
                         std::any_of(std::begin(kKeysInOrder), std::end(kKeysInOrder),
                                     [&](const char* k) { return Lower(k) == Lower(line.Key); });
        if (own) {
            lines.Own[Lower(line.Key)].push_back(value);
        } else {
            lines.Others.push_back(section + ": " + line.Key + (line.Value ? " = " + value : ""));
        }
    }
    return lines;
}

// The file as the unload left it: every line not the module's as before, and the module's
// five keys, once each in the first [Orlune] section, holding what it understood.
void ExpectWrittenBack(const std::string& before, const std::string& after,
                       const std::vector<std::string>& values) {
    EXPECT_EQ(after.rfind(kBom, 0) == 0, before.rfind(kBom, 0) == 0) << "byte-order mark";
    IniLines lines = Lines(after);
    EXPECT_TRUE(lines.Others == Lines(before).Others) << "a line the module does not own changed";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lines.Own[Lower(kKeysInOrder[i])], std::vector<std::string>{values[i]}) << kKeysInOrder[i];
    }
}

// ---------------------------------------------------------------------------------------
// Every file in the folders a stray write could reach: the application-data folder and the
// tree below Bexmoor, the host's folder, the Windows folder (where a bare file name lands), the drive's root and
// the temporary folder. Size and last write for every file, the bytes for small ones.
// (Only our own trees are walked: Wine links some of the user's folders to the Unix home.)

using Snapshot = std::map<std::wstring, std::string>;

void AddFolder(const std::wstring& folder, bool recursive, const std::wstring& skip, Snapshot& out) {
    WalkFolder(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& found) {
        if (lstrcmpiW(path.c_str(), skip.c_str()) == 0) return;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[path] = "folder";
            if (recursive) AddFolder(path, true, skip, out);
            return;
        }
        std::string signature = std::to_string(found.nFileSizeLow) + "/" +
                                std::to_string(found.ftLastWriteTime.dwLowDateTime) + "/" +
                                std::to_string(found.ftLastWriteTime.dwHighDateTime);
        if (found.nFileSizeHigh == 0 && found.nFileSizeLow <= 65536) {
            signature += "/" + ReadFileBytesW(path).value_or("(unreadable)");
        }
        out[path] = signature;
    });
}

Snapshot TakeSnapshot(const std::vector<std::wstring>& extraTrees, const std::wstring& settingsFile) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    Snapshot snapshot;
    AddFolder(Widen(AppDataFolder()), false, settingsFile, snapshot);
    AddFolder(Widen(VendorFolder()), true, settingsFile, snapshot);
    AddFolder(Widen(ExecutableFolder()), false, settingsFile, snapshot);
    AddFolder(windows, false, settingsFile, snapshot);
    AddFolder(std::wstring(windows, 2), false, settingsFile, snapshot);  // "C:"
    AddFolder(Widen(TempPath("")), false, settingsFile, snapshot);
    for (const std::wstring& tree : extraTrees) AddFolder(tree, true, settingsFile, snapshot);
    return snapshot;
}

void ExpectSameFiles(const Snapshot& before, const Snapshot& after) {
    for (const Snapshot* side : {&before, &after}) {
        for (const auto& entry : *side) {
            const Snapshot& other = side == &before ? after : before;
            const auto found = other.find(entry.first);
            if (found != other.end() && (found->second == entry.second || side == &before)) continue;
            ADD_FAILURE() << (found == other.end() ? (side == &before ? "gone: " : "new: ") : "changed: ")
                          << std::string(entry.first.begin(), entry.first.end());
        }
    }
}

// ---------------------------------------------------------------------------------------

struct Outcome {
    int Enable = 0;
    int Started = 0;
    bool Fired = false;
    bool Unmapped = false;
    DWORD Ms = 0;
    recorded::Record Seen;
};

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 932u);
        ASSERT_NE(Host.Window(), nullptr);
        ASSERT_FALSE(ModuleMapped()) << "left loaded by an earlier test";
    }

    // The host's whole session with the module, the system answering as `answers` says (the
    // first timer fires at once). `afterLoad` runs once InitialLoad is done.
    Outcome RunHostSession(int portable, recorded::Answers answers = {},
                           const std::function<void()>& afterLoad = [] {}) {
        answers.ShortTimers = 1;  // only the first one fires
        recorded::Reset(answers);
        Outcome out;
        const DWORD start = GetTickCount();
        if (!Host.Load()) return out;
        const ModuleExports& api = Host.Api();
        api.InitialLoad(portable);
        afterLoad();
        api.SetParentWindow(Host.Window());
        out.Enable = api.IsModuleEnable();
        out.Started = api.StartModule();
        if (out.Started) {
            out.Fired = PumpMessagesUntil([] { return recorded::Snapshot().SetCalls >= 2; }, kCaseLimitMs);
        }
        api.StopModule();
        Host.Module->Unload();  // hooked still
        // An hour-count worker keeps the module mapped until its plays are done.
        out.Unmapped = PumpMessagesUntil([] { return !ModuleMapped(); }, kCaseLimitMs);
        out.Ms = GetTickCount() - start;
        out.Seen = recorded::Snapshot();
        return out;
    }

    // What every case promises, given what the module should have understood and the only
    // file it may write.
    void ExpectUnderstood(const Outcome& out, const Understood& u, const std::string& ini) {
        for (const recorded::SettingsWrite& written : out.Seen.SettingsWrites) EXPECT_EQ(written.File, ini);
        EXPECT_TRUE(out.Unmapped) << "the module stayed mapped";
        EXPECT_LT(out.Ms, kCaseLimitMs);
        EXPECT_LE(out.Seen.HostSleeps.size(), 30u) << "the due check waited past 3 s";
        EXPECT_EQ(out.Enable, u.Enable);
        EXPECT_EQ(out.Started, u.Enable != 0 ? 1 : 0);
        EXPECT_EQ(out.Fired, u.Enable != 0) << "the timer did not fire";
        ASSERT_EQ(static_cast<int>(out.Seen.Sounds.size()), PlaysAtThree(u));
        for (const recorded::SoundCall& sound : out.Seen.Sounds) {
            EXPECT_EQ(sound.Name, u.WaveName);
            EXPECT_EQ(sound.Flags, static_cast<DWORD>(u.SignalType != 0 ? SND_SYNC : SND_ASYNC));
        }
    }

    SettingsFilesSandbox Files;
    HostSession Host;  // unloads the module before the files go
};

const Understood kUserFile{1, 0, 60, 0, "C:\\Sounds\\chime.wav"};

// A settings file as a user keeps it, with lines of its own around the module's: kUserFile,
// but for the keys `replace` gives other text (or "(absent)").
std::string UserFile(const std::map<std::string, std::string>& replace = {}) {
    std::string text = "; kept by hand\r\n[Before]\r\nNote=keep me\r\n[Orlune]\r\n";
    const std::vector<std::string> values = AsWritten(kUserFile);
    for (int i = 0; i < 5; ++i) {
        const auto r = replace.find(kKeysInOrder[i]);
        const std::string value = r == replace.end() ? values[i] : r->second;
        if (value != "(absent)") text += std::string(kKeysInOrder[i]) + "=" + value + "\r\n";
    }
    return text + "Colour=blue\r\n[After]\r\nLast=1\r\n";
}

}  // namespace

// ---------------------------------------------------------------------------------------

TEST_F(Reliability, HandEditedSettingsFiles) {
    enum class Fault { None, NoFolder, NoFile, ReadOnly, HeldThroughout, HeldDuringLoad };
    struct Case {
        std::string name;
        std::string file;
        Fault fault;
        Understood understood;
        bool written;                     // the unload's save reached the file
        std::string waveAsWritten = "";   // when the file's encoding differs from the module's
    };
    const std::string longWave = "C:\\" + std::string(996, 'w');
    const std::string sjisWave = "C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x8E\x9E\x95\xF1.wav";  // サウンド\時報
    const std::string utf8Wave = "C:\\\xE3\x82\xB5\xE3\x82\xA6\xE3\x83\xB3\xE3\x83\x89\\\xE6\x99\x82\xE5\xA0\xB1.wav";
    std::vector<Case> cases = {
        {"as the dialog writes it", UserFile(), Fault::None, kUserFile, true},
        {"hour count, 24-hour clock", UserFile({{"SignalType", "1"}, {"TimeType", "1"}}), Fault::None,
         With(kUserFile, [](Understood& u) { u.SignalType = 1; u.TimeType = 1; }), true},
        {"no [Orlune] section", "; kept\r\n[Before]\r\nNote=keep me\r\n", Fault::None, kDefaults, true},
        {"[Orlune] twice: the first counts", UserFile({{"TimeType", "(absent)"}}) +
             "[Orlune]\r\nEnable=0\r\nTimeType=1\r\nWaveName=second.wav\r\n",
         Fault::None, kUserFile, true},
        // Wine's reader reads through the mark, and its writer keeps the file UTF-8 (Windows
        // reads the marked first line as no section header: the platform's own rule either way).
        {"UTF-8 byte-order mark", kBom + UserFile({{"WaveName", utf8Wave}}), Fault::None,
         With(kUserFile, [&](Understood& u) { u.WaveName = sjisWave; }), true, utf8Wave},
        {"a line of 100,000 bytes", UserFile() + "Long=" + std::string(99993, 'x') + "\r\n",
         Fault::None, kUserFile, true},
        {"WaveName of 100,000 bytes", UserFile({{"WaveName", "C:\\" + std::string(99997, 'w')}}),
         Fault::None, With(kUserFile, [&](Understood& u) { u.WaveName = longWave.substr(0, 259); }),
         true},
        {"a file of 0 bytes", "", Fault::None, kDefaults, true},
        {"no file", "", Fault::NoFile, kDefaults, true},
        {"read-only file", UserFile(), Fault::ReadOnly, kUserFile, false},
        {"file held open throughout", UserFile(), Fault::HeldThroughout, kDefaults, false},
        {"file held open during the load", UserFile(), Fault::HeldDuringLoad, kDefaults, false},
        {"folder missing", "", Fault::NoFolder, kDefaults, false},
    };
    // Intervals at the edges of what plays (below a minute never does).
    for (const DWORD interval : {0u, 59u, 61u, 4294967294u}) {
        const std::string text = std::to_string(interval);
        cases.push_back({"Interval " + text, UserFile({{"Interval", text}}), Fault::None,
                         With(kUserFile, [&](Understood& u) { u.Interval = interval; }), true});
    }
    // Every key with a value that is not a number, a negative one, an empty one and one far
    // too long. A number is read from its first 29 characters, taken modulo 2^32; an empty
    // value reads as a missing key.
    const std::string digits(1000, '7');
    const DWORD overLong = 3519487089u;  // 29 sevens, modulo 2^32
    for (int i = 0; i < 5; ++i) {
        const std::string key = kKeysInOrder[i];
        const struct {
            const char* kind;
            std::string value;
            DWORD reads;
        } values[] = {
            {"not a number", "abc", 0},
            {"negative", "-5", 4294967291u},
            {"empty", "", i == 2 ? 0xFFFFFFFFu : 0},
            {"over-long", digits, overLong},
        };
        for (const auto& v : values) {
            cases.push_back({key + " " + v.kind, UserFile({{key, v.value}}), Fault::None,
                             With(kUserFile, [&](Understood& u) {
                                 i < 4 ? SetNumber(u, i, v.reads) : void(u.WaveName = v.value.substr(0, 259));
                             }), true});
        }
    }

    DWORD slowest = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Files.Start(c.fault != Fault::NoFolder));
        if (c.fault != Fault::NoFile && c.fault != Fault::NoFolder) {
            ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), c.file));
        }
        if (c.fault == Fault::ReadOnly) {
            ASSERT_TRUE(SetFileAttributesA(AppDataIniPath().c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const std::optional<std::string> before = ReadFileBytes(AppDataIniPath());
        const Snapshot files = TakeSnapshot({}, Widen(AppDataIniPath()));

        std::unique_ptr<ExclusiveFile> held;
        if (c.fault == Fault::HeldThroughout || c.fault == Fault::HeldDuringLoad) {
            held = std::make_unique<ExclusiveFile>(AppDataIniPath());
            ASSERT_TRUE(held->Held());
        }
        const Outcome out = RunHostSession(0, {}, [&] {
            if (c.fault == Fault::HeldDuringLoad) held->Release();
        });
        held.reset();
        slowest = std::max(slowest, out.Ms);

        ExpectUnderstood(out, c.understood, AppDataIniPath());
        const std::optional<std::string> after = ReadFileBytes(AppDataIniPath());
        if (c.written) {
            std::vector<std::string> values = AsWritten(c.understood);
            if (!c.waveAsWritten.empty()) values[4] = c.waveAsWritten;
            ASSERT_TRUE(after.has_value());
            ExpectWrittenBack(before.value_or(""), *after, values);
        } else {
            EXPECT_EQ(after, before) << "the settings file changed";
        }
        ExpectSameFiles(files, TakeSnapshot({}, Widen(AppDataIniPath())));
        SetFileAttributesA(AppDataIniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::printf("%zu cases, slowest %lu ms\n", cases.size(), static_cast<unsigned long>(slowest));
}

// ---------------------------------------------------------------------------------------
// Settings paths at the edge of their 260-byte buffer, and a host whose name holds a
// Shift-JIS character whose second byte is a backslash. The application-data folder and the
// host's path come through the module's imports of SHGetFolderPathA and GetModuleFileNameA;
// the folders and files there are real.

namespace {

std::wstring TempRoot() {
    return Widen(TempPath("karvex-paths-" + std::to_string(GetCurrentProcessId())));
}

}  // namespace

TEST_F(Reliability, SettingsPathsAtTheEdge) {
    const std::wstring wideRoot = TempRoot();
    const std::string root(wideRoot.begin(), wideRoot.end());  // ASCII
    const std::string tail = "\\Bexmoor\\Pandrel\\Orlune.ini";  // 27 bytes
    const struct {
        const char* name;
        std::size_t appDataLength;  // 0: the system's folder
        std::size_t hostLength;     // 0: the real host; else its folder's length (npos: no name)
        bool sjisHost;
        bool used;                  // the path fits and is read and written
    } cases[] = {
        {"application data, settings path of 259 bytes", 259 - tail.size(), 0, false, true},
        {"application data, settings path of 260 bytes", 260 - tail.size(), 0, false, false},
        {"application data of 259 bytes", 259, 0, false, false},
        {"application data unavailable", std::string::npos, 0, false, false},
        {"host folder, settings path of 259 bytes", 0, 249, false, true},
        {"host folder, settings path of 260 bytes", 0, 250, false, false},
        {"host in a folder named with a 0x5C trail byte", 0, 1, true, true},
        // GetModuleFileNameA fails: no bare file name (the Windows folder's) instead.
        {"host path unavailable", 0, std::string::npos, false, false},
    };
    DWORD slowest = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTreeW(TempRoot());
        ASSERT_TRUE(Files.CreateAppDataFolders());
        std::string ini;
        int portable = 0;
        recorded::Answers answers;
        if (c.appDataLength == std::string::npos) {
            answers.AppData = "";
            ini = AppDataIniPath();
        } else if (c.appDataLength) {
            answers.AppData = MakeFolderOfLength(root, c.appDataLength);
            ini = *answers.AppData + tail;
            CreateDirectoryW(Widen(*answers.AppData + "\\Bexmoor").c_str(), nullptr);
            CreateDirectoryW(Widen(*answers.AppData + "\\Bexmoor\\Pandrel").c_str(), nullptr);
        } else if (c.hostLength == std::string::npos) {
            portable = 1;
            answers.HostExe = "";
            ini = PortableIniPath();
        } else {
            portable = 1;
            const std::string folder = c.sjisHost ? root + "\\" + kSo + "\\" + kSo
                                                  : MakeFolderOfLength(root, c.hostLength - 1);
            if (c.sjisHost) {
                CreateDirectoryW(wideRoot.c_str(), nullptr);
                CreateDirectoryW(Widen(root + "\\" + kSo).c_str(), nullptr);
                CreateDirectoryW(Widen(folder).c_str(), nullptr);
            }
            answers.HostExe = folder + "\\" + (c.sjisHost ? kSo + ".exe" : "k.exe");
            ASSERT_TRUE(WriteFileBytesW(Widen(*answers.HostExe), "MZ"));
            ini = folder + "\\Orlune.ini";
        }
        const std::string userFile = UserFile();
        ASSERT_TRUE(WriteFileBytesW(Widen(ini), userFile));
        // The other place holds settings of its own, which must stay unread and untouched.
        const std::string other = portable ? AppDataIniPath() : PortableIniPath();
        ASSERT_TRUE(WriteFileBytes(other, "[Orlune]\r\nEnable=1\r\nWaveName=other.wav\r\n"));
        const Snapshot files = TakeSnapshot({TempRoot()}, Widen(ini));

        const Outcome out = RunHostSession(portable, answers);
        slowest = std::max(slowest, out.Ms);

        ExpectUnderstood(out, c.used ? kUserFile : kDefaults, ini);
        const std::optional<std::string> after = ReadFileBytesW(Widen(ini));
        ASSERT_TRUE(after.has_value());
        if (c.used) {
            ExpectWrittenBack(userFile, *after, AsWritten(kUserFile));
        } else {
            EXPECT_EQ(*after, userFile);
            EXPECT_TRUE(out.Seen.SettingsWrites.empty());
        }
        ExpectSameFiles(files, TakeSnapshot({TempRoot()}, Widen(ini)));
        RemoveFile(other);
    }
    RemoveTreeW(TempRoot());
    std::printf("%zu cases, slowest %lu ms\n", std::size(cases), static_cast<unsigned long>(slowest));
}

// The unload leaves a file it could not read, or whose path the shell could not name, alone.
// OK in the dialog makes the values shown there the user's own: saved at OK (once the folder
// is back, or else again at unload if the file was still held). A dialog ended by WM_QUIT (the
// launcher quit from its tray) returns 1 under Wine as OK does, but the user confirmed
// nothing: the file stays as it was.
TEST_F(Reliability, AfterAnUnreadableLoadOnlyOkInTheDialogIsSaved) {
    enum Load { Held, Unreachable, None };  // the file held open, the shell failing, or no load
    const struct {
        const char* name;
        void (*end)(HWND);
        Load load;
        bool saved;
    } cases[] = {
        {"OK", [](HWND dialog) { Click(dialog, IDOK); }, Held, true},
        {"WM_QUIT", [](HWND) { PostQuitMessage(0); }, Held, false},
        {"OK after the folder was unreachable", [](HWND dialog) { Click(dialog, IDOK); }, Unreachable, true},
        // The dialog showed defaults, not the file's values.
        {"OK before any load",
         [](HWND dialog) {
             for (const int id : {IDC_DONT_USE_MODULE, IDC_ONCE_PER_INTERVAL, IDC_CLOCK_12}) EXPECT_TRUE(IsChecked(dialog, id)) << id;
             EXPECT_EQ(ControlText(dialog, IDC_WAVE_NAME), L"");
             Click(dialog, IDOK);
         },
         None, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Files.CreateAppDataFolders());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), UserFile()));
        {
            recorded::Reset();
            if (c.load == Unreachable) recorded::Answer([](recorded::Answers& a) { a.AppData = ""; });
            ASSERT_TRUE(Host.Load());
            ExclusiveFile held(c.load == Held ? AppDataIniPath() : "");
            if (c.load != None) Host.Api().InitialLoad(0);
            recorded::Answer([](recorded::Answers& a) { a.AppData.reset(); });
            Host.Api().SetParentWindow(Host.Window());
            EXPECT_NE(Host.InDialog(c.end).Result, 0);
            MSG quit;
            PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the dialog posts it again
            held.Release();
            EXPECT_TRUE(c.load != Held || ReadFileBytes(AppDataIniPath()) == UserFile()) << "the save at OK got through";
            Host.Module.reset();
        }
        const std::string after = ReadFileBytes(AppDataIniPath()).value_or("");
        if (c.saved) {
            ExpectWrittenBack(UserFile(), after, AsWritten(kDefaults));
        } else {
            EXPECT_EQ(after, UserFile());
        }
    }
}

// The earlier release's registry values of every type and size the registry can hold, one
// odd value at a time among four good ones: a number of four bytes is taken whatever its type,
// any other odd one takes its default; the good ones are imported, written to the file, and
// the old key goes.
TEST_F(Reliability, LegacyValuesOfEveryTypeAndSize) {
    const auto number = [](DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    const Understood legacy{1, 1, 900, 1, "legacy.wav"};
    struct Odd {
        std::string kind;
        DWORD type;
        std::string bytes;
        bool taken = false;  // read as the number 1
    };
    const std::vector<Odd> oddNumbers = {
        {"REG_DWORD of 0 bytes", REG_DWORD, ""},
        {"REG_DWORD of 2 bytes", REG_DWORD, std::string("\x01\x00", 2)},
        {"REG_DWORD of 8 bytes", REG_DWORD, number(1) + number(0)},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, number(1)},
        {"REG_QWORD", REG_QWORD, number(1) + number(0)},
        {"REG_BINARY of 4 bytes", REG_BINARY, number(1), true},
        {"REG_NONE of 4 bytes", REG_NONE, number(1)},
        {"REG_SZ", REG_SZ, std::string("1\0", 2)},
        {"REG_SZ of 4 bytes, \"900\"", REG_SZ, std::string("900\0", 4)},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("1\0", 2)},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("1\0\0", 3)},
    };
    const std::vector<Odd> oddNames = {
        {"REG_SZ of 0 bytes", REG_SZ, ""},
        {"REG_SZ, a terminator only", REG_SZ, std::string(1, '\0')},
        {"REG_SZ of 100,000 bytes", REG_SZ, std::string(100000, 'n')},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("x.wav\0", 6)},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("x.wav\0\0", 7)},
        {"REG_BINARY", REG_BINARY, "x.wav"},
        {"REG_NONE", REG_NONE, "x.wav"},
        {"REG_DWORD", REG_DWORD, number(0x41414141)},
    };
    ASSERT_TRUE(Files.CreateAppDataFolders());
    const auto check = [&](const char* value, const Odd& odd, const Understood& understood) {
        SCOPED_TRACE(std::string(value) + " " + odd.kind);
        LegacyRegistrySandbox registry;
        ASSERT_TRUE(registry.CreateLegacyStore(legacy));
        ASSERT_TRUE(SetRegistryValue(HKEY_CURRENT_USER, kLegacyKey, value, odd.type, odd.bytes));
        RemoveFile(AppDataIniPath());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), "[After]\r\nLast=1\r\n"));

        const Outcome out = RunHostSession(0);

        ExpectUnderstood(out, understood, AppDataIniPath());
        ExpectWrittenBack("[After]\r\nLast=1\r\n", ReadFileBytes(AppDataIniPath()).value_or(""),
                          AsWritten(understood));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
    };
    for (int i = 0; i < 4; ++i) {
        for (const Odd& odd : oddNumbers) {
            check(kKeysInOrder[i], odd, With(legacy, [&](Understood& u) {
                      SetNumber(u, i, odd.taken ? 1 : i == 2 ? 0xFFFFFFFFu : 0);
                  }));
        }
    }
    for (const Odd& odd : oddNames) {
        check("WaveName", odd, With(legacy, [](Understood& u) { u.WaveName = ""; }));
    }
}
