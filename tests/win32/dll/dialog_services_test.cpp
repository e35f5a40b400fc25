// Help, test play and the file chooser as the settings dialog of the real module uses them.
// The module's import of PlaySoundA (support/recorded_system.h), and its loads of the help and
// chooser libraries and look-ups in them (LoadLibraryExA and GetProcAddress, also imports), are
// redirected to recorders, so each test sees exactly what the module asked of the system. The
// libraries themselves are really loaded.
#include <gtest/gtest.h>
#include <windows.h>
#include <cderr.h>
#include <commdlg.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/host_session.h"
#include "support/import_hook.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/setting_dialog_driver.h"
#include "support/setting_values.h"
#include "support/settings_files.h"

namespace {

// ---------------------------------------------------------------------------------------
// Recorders standing in for the system functions.

struct HelpCall {
    HWND Caller;
    std::string File;
    UINT Command;
    bool HasData;
    DWORD Popup[13];  // the pop-up record as 32-bit fields, for HH_DISPLAY_TEXT_POPUP
};
std::vector<HelpCall> helpCalls;
int helpLeftToTheOwner = 0;  // WM_HELP the dialog left to the host's window

LRESULT CALLBACK CountHelpMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HELP) ++helpLeftToTheOwner;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND WINAPI RecordHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
    HelpCall call{caller, file ? file : "<null>", command, data != 0, {}};
    if (command == 14 && data) std::memcpy(call.Popup, reinterpret_cast<const void*>(data), 52);
    helpCalls.push_back(call);
    return nullptr;
}

// The title and filter are checked as the real chooser shows them (unit.DialogServices.*).
struct ChooserCall {
    HWND Owner;
    std::string File;  // what the file buffer held
    std::string InitialDir;
    DWORD Flags;
};
std::vector<ChooserCall> chooserCalls;
const char* chooserAnswer = nullptr;  // the path the user picks, or null for Cancel
DWORD chooserError = 0;               // what CommDlgExtendedError answers

BOOL WINAPI RecordChooser(OPENFILENAMEA* record) {
    chooserCalls.push_back({record->hwndOwner, record->lpstrFile,
                            record->lpstrInitialDir ? record->lpstrInitialDir : "<null>", record->Flags});
    // Windows may move the current folder whatever the flags say (OFN_NOCHANGEDIR is
    // documented as ineffective here); Wine never does.
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    SetCurrentDirectoryA(system);
    // As Windows' chooser does, a name with '"' or '<' in it fails at once, unseen.
    chooserError = std::strpbrk(record->lpstrFile, "\"<") ? FNERR_INVALIDFILENAME : 0;
    if (chooserError || !chooserAnswer) return FALSE;
    lstrcpynA(record->lpstrFile, chooserAnswer, record->nMaxFile);
    return TRUE;
}

DWORD WINAPI RecordChooserError() {
    return chooserError;
}

// Another thread of the host moves the current folder to a longer one between the module's
// asking for its length and reading it: the read answers the greater length over a buffer
// that holds no whole path.
int folderGrowsAtReads = 0;

DWORD WINAPI GrowingCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    if (!buffer || folderGrowsAtReads == 0) return GetCurrentDirectoryW(size, buffer);
    --folderGrowsAtReads;
    lstrcpynW(buffer, L"C:\\", size);
    return size + 10;
}

// The module's look-ups in the help and chooser libraries (handed over by the recorded
// GetProcAddress), noted among its library loads as "find <library> <function or #ordinal>".
FARPROC WINAPI RecordGetProcAddress(HMODULE library, LPCSTR function) {
    const std::string name = library == GetModuleHandleA("hhctrl.ocx")     ? "hhctrl.ocx"
                             : library == GetModuleHandleA("comdlg32.dll") ? "comdlg32.dll"
                                                                           : "";
    if (name.empty()) return GetProcAddress(library, function);
    const std::string wanted = IS_INTRESOURCE(function)
                                   ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(function))
                                   : function;
    recorded::NoteLibraryUse("find " + name + " " + wanted);
    const void* recorder = nullptr;
    if (name == "hhctrl.ocx" && wanted == "#14") recorder = HookAddress(&RecordHelp);
    if (name == "comdlg32.dll" && wanted == "GetOpenFileNameA") recorder = HookAddress(&RecordChooser);
    if (name == "comdlg32.dll" && wanted == "CommDlgExtendedError") {
        recorder = HookAddress(&RecordChooserError);
    }
    return recorder ? reinterpret_cast<FARPROC>(const_cast<void*>(recorder))
                    : GetProcAddress(library, function);
}

// ---------------------------------------------------------------------------------------
// The host's part.

// A module loaded from `path` as the host loads one, with its settings in the portable
// file and its imports recorded while it lives.
class HostedModule : public HostSession {
public:
    HostedModule(const std::string& path, const std::string& waveName) : path_(path) {
        recorded::Answers answers;
        answers.Lookup = &RecordGetProcAddress;
        recorded::Reset(answers);
        helpCalls.clear();
        chooserCalls.clear();
        chooserAnswer = nullptr;
        chooserError = 0;
        WriteFileBytes(PortableIniPath(), Settings(SettingValues{1, 0, 3600, 0, waveName}));
        if (Load(kRecorded, path.c_str())) Open(1);
    }

    // Opens the settings dialog, runs `script` in it, then cancels it.
    void InDialog(const std::function<void(HWND)>& script) {
        HostSession::InDialog([&](HWND dialog) {
            script(dialog);
            Click(dialog, IDCANCEL);
        });
    }
    std::string Folder() const { return path_.substr(0, path_.rfind('\\') + 1); }

private:
    std::string path_;
};

void SendHelp(HWND dialog, int id, POINT mouse) {
    HELPINFO info{sizeof(info), HELPINFO_WINDOW, id, GetDlgItem(dialog, id), 0, mouse};
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
}

std::string AnsiText(HWND dialog, int id) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

class DialogServicesInDialog : public ::testing::Test {
protected:
    SettingsFilesSandbox sandbox_;
};

}  // namespace

// Every control of the dialog: group boxes and labels show nothing and leave the request to
// the owner, the host's window; the others show their pop-up topic at the mouse. A help
// message without its record shows nothing either. The Help button opens the help file beside
// the module.
TEST_F(DialogServicesInDialog, HelpOnAControlShowsItsPopupTopic) {
    HostedModule module(ModulePath(), "");
    const std::vector<int> withHelp = {1, 2, 101, 102, 104, 105, 107, 108, 111, 114, 115, 116, 117};
    HWND shown = nullptr;
    module.InDialog([&](HWND dialog) {
        shown = dialog;
        SendMessageA(dialog, WM_HELP, 0, 0);
        SetWindowLongPtrW(GetWindow(dialog, GW_OWNER), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountHelpMessages));
        for (int id = 1; id <= 117; id = id == 2 ? 100 : id + 1) {
            helpCalls.clear();
            helpLeftToTheOwner = 0;
            SendHelp(dialog, id, POINT{200 + id, 300 - id});
            const bool has = std::count(withHelp.begin(), withHelp.end(), id) != 0;
            ASSERT_EQ(has ? 1u : 0u, helpCalls.size()) << "control " << id;
            EXPECT_EQ(has ? 0 : 1, helpLeftToTheOwner) << "control " << id;
            if (!has) continue;
            const HelpCall& call = helpCalls[0];
            EXPECT_EQ(dialog, call.Caller);
            EXPECT_EQ(module.Folder() + "Karvex.chm::/popup.txt", call.File);
            EXPECT_EQ(14u, call.Command);  // HH_DISPLAY_TEXT_POPUP
            // The whole record: its size, no instance, the topic, no text, the mouse position,
            // and the library's defaults for both colours, all four margins (-1) and the font.
            const DWORD d = 0xFFFFFFFF, expected[13] = {52, 0, static_cast<DWORD>(id), 0, static_cast<DWORD>(200 + id),
                                                        static_cast<DWORD>(300 - id), d, d, d, d, d, d, 0};
            EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), call.Popup)) << "control " << id;
        }
        helpCalls.clear();
        Click(dialog, IDC_HELP_BUTTON);
    });
    ASSERT_EQ(1u, helpCalls.size());
    EXPECT_EQ(shown, helpCalls[0].Caller);
    EXPECT_EQ(module.Folder() + "Karvex.chm", helpCalls[0].File);
    EXPECT_EQ(0u, helpCalls[0].Command);  // HH_DISPLAY_TOPIC
    EXPECT_FALSE(helpCalls[0].HasData);
}

// The chooser is handed the edit's name, owned by the dialog, starting in the product's
// folder and leaving the host's current folder as it was, also one named outside the ANSI
// code page (row 2) or whose ANSI form names another folder (row 3: "Zoe" beside "Zoë"). A
// pick fills the edit and enables Test (row 1), Cancel changes nothing (row 2). A name the
// chooser rejects makes it fail unseen, so "..." opens it once more without the name, the
// record otherwise as before (rows 3, 4). The host's folder is put back also when it moved
// while the module noted it (row 5). The Test button follows the edit's text as typed,
// and plays what the edit holds then, not what was saved (x.wav), also with the module
// switched off.
TEST_F(DialogServicesInDialog, ChooserStartsFromTheEditsName) {
    ASSERT_TRUE(sandbox_.CreateAppDataFolders());
    struct Case {
        const wchar_t* typed;
        const char* handed;  // the edit's name as the chooser first gets it
        const char* answer;  // null: Cancel
        const char* editAfter;
        const wchar_t* hostFolder;  // the host's current folder, under `root` ("": the test's own)
        int folderGrowsAtReads = 0;
    };
    const Case cases[] = {
        /* 1 */ {L"", "", kJapaneseWave.c_str(), kJapaneseWave.c_str(), L""},
        /* 2 */ {L"C:\\\u30BD\u30D5\u30C8\\\u6642\u5831.wav", kJapaneseWave.c_str(), nullptr, kJapaneseWave.c_str(),
                 L"Zo\u00EB \u5F20"},
        /* 3 */ {L"C:\\Sounds\\a\"b.wav", "C:\\Sounds\\a\"b.wav", nullptr, "C:\\Sounds\\a\"b.wav", L"Zo\u00EB"},
        /* 4 */ {L"<chime>.wav", "<chime>.wav", kJapaneseWave.c_str(), kJapaneseWave.c_str(), L""},
        /* 5 */ {L"", "", kJapaneseWave.c_str(), kJapaneseWave.c_str(), L"Zoe", 1},
    };
    wchar_t ownFolder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, ownFolder);
    const std::wstring root = Widen(TempPath("karvex-host-folders"));
    for (const wchar_t* name : {L"", L"\\Zoe", L"\\Zo\u00EB", L"\\Zo\u00EB \u5F20"}) CreateDirectoryW((root + name).c_str(), nullptr);
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        HostedModule module(ModulePath(), "x.wav");
        chooserAnswer = c.answer;
        std::string edit;
        HWND shown = nullptr;
        bool testEnabledBefore = true, testEnabled = false;
        ASSERT_TRUE(!*c.hostFolder || SetCurrentDirectoryW((root + L"\\" + c.hostFolder).c_str()));
        wchar_t hostFolder[MAX_PATH] = L"", folderAfter[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, hostFolder);
        module.InDialog([&](HWND dialog) {
            shown = dialog;
            Click(dialog, IDC_DONT_USE_MODULE);
            TypeText(dialog, IDC_WAVE_NAME, c.typed);
            testEnabledBefore = IsEnabled(dialog, IDC_TEST_PLAY);
            const ImportHook growing(GetModuleHandleA(ModulePath()), "KERNEL32.dll", "GetCurrentDirectoryW",
                                     HookAddress(&GrowingCurrentDirectoryW));
            ASSERT_TRUE(growing.Installed());
            folderGrowsAtReads = c.folderGrowsAtReads;
            Click(dialog, IDC_BROWSE);
            GetCurrentDirectoryW(MAX_PATH, folderAfter);
            edit = AnsiText(dialog, IDC_WAVE_NAME);
            testEnabled = IsEnabled(dialog, IDC_TEST_PLAY);
            Click(dialog, IDC_TEST_PLAY);
        });
        SetCurrentDirectoryW(ownFolder);
        const std::vector<recorded::SoundCall> sounds = recorded::Snapshot().Sounds;
        ASSERT_EQ(1u, sounds.size());
        EXPECT_EQ(c.editAfter, sounds[0].Name);
        EXPECT_EQ(0x2001u, sounds[0].Flags);  // SND_ASYNC | SND_NOWAIT
        EXPECT_EQ(std::wstring(hostFolder), folderAfter) << "the chooser moved the host's current folder";
        EXPECT_EQ(*c.typed != 0, testEnabledBefore);
        EXPECT_EQ(c.editAfter, edit);
        EXPECT_TRUE(testEnabled);
        const bool rejected = std::wcspbrk(c.typed, L"\"<") != nullptr;
        ASSERT_EQ(rejected ? 2u : 1u, chooserCalls.size());
        EXPECT_EQ(c.handed, chooserCalls[0].File);
        for (const ChooserCall& call : chooserCalls) {
            EXPECT_EQ(shown, call.Owner);
            EXPECT_EQ(ProductFolder(), call.InitialDir);
            EXPECT_EQ(13u, call.Flags);  // OFN_READONLY | OFN_HIDEREADONLY | OFN_NOCHANGEDIR
        }
        EXPECT_EQ(rejected ? "" : c.handed, chooserCalls.back().File);
    }
    RemoveTreeW(root);
}

// Each library is loaded at its first use, from the system folder only, and then kept: a
// second use loads nothing. Where the system rejects the flag that says "system folder
// only", the file is named by its full path there; where that folder cannot be named whole
// (GetSystemDirectoryA fails, or needs more than MAX_PATH), nothing is loaded rather than a
// file by a path of whatever the buffer held, and the next use tries again.
TEST_F(DialogServicesInDialog, LibrariesLoadFromTheSystemFolderAtFirstUse) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string folder = std::string(system) + "\\";
    const auto f1 = [](HWND dialog) { SendHelp(dialog, IDC_USE_MODULE, POINT{10, 10}); };
    const auto browse = [](HWND dialog) { Click(dialog, IDC_BROWSE); };
    const std::string help = "find hhctrl.ocx #14", chooser = "find comdlg32.dll GetOpenFileNameA";
    struct Case {
        std::function<void(HWND)> use;  // done twice
        bool refuseFlag;
        std::optional<UINT> folderLength;  // GetSystemDirectoryA's answer; null: the system's
        std::vector<std::string> log;      // flags 2048: LOAD_LIBRARY_SEARCH_SYSTEM32
    };
    const std::vector<std::string> refusedTwice = {"load hhctrl.ocx 2048", "refused", "load hhctrl.ocx 2048",
                                                   "refused"};
    const Case cases[] = {
        /* 1 */ {f1, false, {}, {"load hhctrl.ocx 2048", help, help}},
        /* 2 */ {browse, false, {}, {"load comdlg32.dll 2048", chooser, "load shfolder.dll 2048", chooser}},
        /* 3 */ {f1, true, {}, {"load hhctrl.ocx 2048", "refused", "load " + folder + "hhctrl.ocx 8", help, help}},
        /* 4 */ {browse, true, {},
                 {"load comdlg32.dll 2048", "refused", "load " + folder + "comdlg32.dll 8", chooser,
                  "load shfolder.dll 2048", "refused", "load " + folder + "shfolder.dll 8", chooser}},
        /* 5 */ {f1, true, 0u, refusedTwice},
        /* 6 */ {f1, true, UINT{MAX_PATH + 40}, refusedTwice},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        HostedModule module(ModulePath(), "");
        recorded::Answer([&](recorded::Answers& a) {
            a.RefuseSystemFolderFlag = c.refuseFlag;
            a.SystemFolderLength = c.folderLength;
        });
        module.InDialog([&](HWND dialog) {
            c.use(dialog);
            c.use(dialog);
        });
        EXPECT_EQ(c.log, recorded::Snapshot().Libraries);
        EXPECT_EQ(c.folderLength ? 0u : 2u, helpCalls.size() + chooserCalls.size());
    }
}

// A module whose folder leaves no room for "Karvex.chm::/popup.txt" in 260 bytes shows no
// pop-up rather than one from a cut path, and still opens the help file; a module whose own
// path does not fit 260 bytes (the system hands back a cut one), here for its long name in a
// short folder, opens neither.
TEST_F(DialogServicesInDialog, ModulePathsTooLongForTheHelpShowNothingCut) {
    const std::string root = TempPath("karvex-deep");
    for (const std::string& name : {std::string("Karvex.dll"), std::string(240, 'k') + ".dll"}) {
        const bool deep = name == "Karvex.dll";  // the module's path: 250 bytes; else over 260
        const std::string folder = MakeFolderOfLength(root, deep ? 239 : root.size()) + "\\", copy = folder + name;
        ASSERT_TRUE(CopyFileW(Widen(ModulePath()).c_str(), Widen(copy).c_str(), FALSE)) << copy.size();
        HostedModule module(copy, "");
        module.InDialog([&](HWND dialog) {
            SendHelp(dialog, IDC_USE_MODULE, POINT{10, 10});
            Click(dialog, IDC_HELP_BUTTON);
        });
        ASSERT_EQ(deep ? 1u : 0u, helpCalls.size()) << copy.size() << " bytes";
        if (!deep) continue;
        EXPECT_EQ(0u, helpCalls[0].Command);
        EXPECT_EQ(folder + "Karvex.chm", helpCalls[0].File);
    }
    RemoveTreeW(Widen(root));
}

// ---------------------------------------------------------------------------------------
// The help and chooser libraries, each case in a process of its own (tests/win32/CMakeLists.txt
// runs them): another test may have loaded the libraries, and Wine takes its DLL overrides
// only at a process's start.

// ntdll's load notifications (Wine has them too): the file name of every library the loader
// maps from the registration to the process's end.
struct LoaderNotice {  // LDR_DLL_NOTIFICATION_DATA
    ULONG Flags;
    const UNICODE_STRING *FullName, *BaseName;
};
std::vector<std::wstring> librariesLoaded;

VOID CALLBACK NoteLoad(ULONG reason, const LoaderNotice* notice, void*) {
    if (reason == 1) librariesLoaded.emplace_back(notice->BaseName->Buffer, notice->BaseName->Length / 2);
}
extern "C" LONG NTAPI LdrRegisterDllNotification(ULONG flags, decltype(&NoteLoad), void* context,
                                                  void** cookie);

// Loading the module loads no library but itself (its imports were loaded first, as in any
// host): nothing runs under the loader's lock that would. Driving it as a portable host
// loads none of the dialog's libraries; the dialog's help and "..." load theirs, and they
// stay loaded after the module is gone (a help window may still be open).
TEST(OwnProcessDialogLibraries, NotLoadedUntilUsed) {
    SettingsFilesSandbox sandbox;
    const char* const dialogLibraries[] = {"comdlg32.dll", "hhctrl.ocx", "shfolder.dll"};
    for (const char* name : dialogLibraries) ASSERT_EQ(nullptr, GetModuleHandleA(name)) << name;
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(), Settings(SettingValues{1, 0, 3600, 0, kJapaneseWave})));
    const char* const imports[] = {"kernel32.dll", "user32.dll", "advapi32.dll", "winmm.dll", "msvcrt.dll"};
    for (const char* name : imports) ASSERT_NE(nullptr, LoadLibraryA(name)) << name;
    HostSession host;  // its window made before the loads are noted
    void* cookie = nullptr;
    ASSERT_EQ(0, LdrRegisterDllNotification(0, &NoteLoad, nullptr, &cookie));
    ASSERT_TRUE(host.Load(HostSession::kReal));
    EXPECT_EQ(std::vector<std::wstring>{L"Karvex.dll"}, librariesLoaded);
    EXPECT_NE(0, host.Open(1));
    EXPECT_EQ(1, host.Api().StartModule());
    EXPECT_NE(0, host.Api().StopModule());
    // A portable host never needs the shell's folder library either.
    for (const char* name : dialogLibraries) EXPECT_EQ(nullptr, GetModuleHandleA(name)) << name;
    host.Module.reset();
    {
        HostedModule module(ModulePath(), "");
        module.InDialog([](HWND dialog) {
            SendHelp(dialog, IDC_USE_MODULE, POINT{10, 10});
            Click(dialog, IDC_BROWSE);
        });
        EXPECT_EQ(1u, helpCalls.size());
        EXPECT_EQ(1u, chooserCalls.size());
    }
    EXPECT_FALSE(ModuleMapped());
    for (const char* dll : {"comdlg32.dll", "hhctrl.ocx"}) EXPECT_NE(nullptr, GetModuleHandleA(dll)) << dll;
}

// On a system without the libraries, help and "..." show nothing and the dialog goes on;
// without the shell's folder library, the application-data settings read as the defaults.
TEST(OwnProcessDialogLibraries, Missing) {
    SettingsFilesSandbox sandbox;
    // Wine's DLL overrides (tests/win32/CMakeLists.txt) took them away.
    for (const char* dll : {"shfolder.dll", "comdlg32.dll", "hhctrl.ocx"}) {
        ASSERT_EQ(nullptr, LoadLibraryExA(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) << dll;
    }
    ASSERT_TRUE(sandbox.CreateAppDataFolders());
    const std::string settings = Settings(SettingValues{1, 0, 3600, 0, kJapaneseWave});
    ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), settings));
    {
        RecordedModule module;  // a fresh process: nothing recorded yet
        ASSERT_TRUE(module.Ready());
        EXPECT_EQ(0, module.Api.InitialLoad(0));  // the defaults: no name, not enabled
        EXPECT_EQ(0, module.Api.IsModuleEnable());
        module.Unload();
    }
    EXPECT_EQ(settings, ReadFileBytes(AppDataIniPath()));
    EXPECT_TRUE(recorded::Snapshot().SettingsWrites.empty()) << "saved without knowing where";
    HostedModule module(ModulePath(), kJapaneseWave);
    std::string edit;
    module.InDialog([&](HWND dialog) {  // which then still takes its Cancel
        SendHelp(dialog, IDC_USE_MODULE, POINT{10, 10});
        Click(dialog, IDC_HELP_BUTTON);
        Click(dialog, IDC_BROWSE);
        edit = AnsiText(dialog, IDC_WAVE_NAME);
    });
    EXPECT_EQ(kJapaneseWave, edit);
    EXPECT_TRUE(helpCalls.empty());
    EXPECT_TRUE(chooserCalls.empty());
    // Nothing found, so each use tries again.
    const std::vector<std::string> tried = {"load hhctrl.ocx 2048", "load hhctrl.ocx 2048",
                                            "load comdlg32.dll 2048"};
    EXPECT_EQ(tried, recorded::Snapshot().Libraries);
}
