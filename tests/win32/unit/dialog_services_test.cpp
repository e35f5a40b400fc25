// The dialog services against the real controls and the system's own file chooser: the test
// play, and the chooser as the user sees it. (Help, and the records handed to the help library
// and the chooser, are checked where the module makes the call, in the module tests.)
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <cstddef>
#include <cwchar>
#include <string>
#include <vector>

#include "dialog/dialog_services.h"
#include "support/recorded_system.h"
#include "support/scoped_tools.h"
#include "support/setting_dialog_driver.h"
#include "support/settings_files.h"
#include "tests/cases/wave_name_cuts.h"

// The Test button plays the edit's text as it stands, cut like every name at 259 bytes on a
// character boundary, asynchronously without waiting for a busy sound service.
TEST(DialogServices, TestPlayPlaysTheEditsText) {
    ASSERT_EQ(932u, GetACP());
    StandInDialog controls;
    const HWND dialog = controls.Dialog.Get();
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        recorded::Reset();
        SetDlgItemTextA(dialog, 114, c.Text.c_str());
        EXPECT_EQ(1, TestPlay(dialog));
        const std::vector<recorded::SoundCall> sounds = recorded::Snapshot().Sounds;
        ASSERT_EQ(1u, sounds.size());
        EXPECT_EQ(c.Kept, sounds[0].Name);
        EXPECT_EQ(0x2001u, sounds[0].Flags);
    }
}

// ---------------------------------------------------------------------------------------
// The system's own file chooser, driven from a thread timer inside its modal loop.

namespace {

// What the chooser showed on opening, and whether it answered OK (with `answer`; Cancel when
// null).
struct ChooserView {
    bool Seen = false;
    bool Accepted = false;
    std::wstring Title;
    std::wstring StartFolder;  // as the chooser reports it
    std::wstring FileName;     // the file-name box when it opened
    std::wstring Filter;       // the file-type box
    bool MovedFolder = false;  // the current folder, the system folder before
};

ChooserView RunChooser(HWND dialog, const std::wstring* answer) {
    ChooserView view;
    const auto open = [&] { return ChooseWaveFile(dialog, GetModuleHandleA(nullptr)); };
    const auto find = [] { return FindThreadDialog(nullptr); };
    // The chooser moves the current folder (even on Cancel) unless told not to, and the host's
    // relative paths and library search start there. The folder before is put back.
    wchar_t saved[MAX_PATH] = {}, start[MAX_PATH] = {}, after[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    GetSystemDirectoryW(start, MAX_PATH);
    SetCurrentDirectoryW(start);
    const SettingRun run = RunDialogScript(open, find, [&](HWND chooser) {
        // The newer layout's combo box, else the older one's edit.
        HWND fileName = GetDlgItem(chooser, cmb13) ? GetDlgItem(chooser, cmb13) : GetDlgItem(chooser, edt1);
        view.Title = WindowText(chooser);
        // The chooser answers in the character set it was opened with, here ANSI.
        char folder[MAX_PATH] = {};
        SendMessageA(chooser, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
        view.StartFolder = Widen(folder);
        view.FileName = WindowText(fileName);
        view.Filter = WindowText(GetDlgItem(chooser, cmb1));
        if (answer) SetWindowTextW(fileName, answer->c_str());
        const int button = answer ? IDOK : IDCANCEL;
        SendMessageW(chooser, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(chooser, button)));
    }, 3);  // let it finish filling its views
    GetCurrentDirectoryW(MAX_PATH, after);
    SetCurrentDirectoryW(saved);
    view.MovedFolder = std::wcscmp(start, after) != 0;
    view.Seen = run.ScriptRan;
    view.Accepted = run.Result != 0;
    return view;
}

}  // namespace

// Row 1: with the edit empty the chooser starts in {AppData}\Bexmoor\Pandrel, and the chosen
// file fills the edit. Row 2: it is handed the edit's name (it shows the name and opens in its
// folder), and Cancel leaves the edit as it was. Neither moves the current folder.
TEST(DialogServices, ChooserAsTheUserSeesIt) {
    SettingsFilesSandbox sandbox;
    ASSERT_TRUE(sandbox.CreateAppDataFolders());
    // A WAV file with a Japanese name, "時報 chime.wav", gone when the test ends.
    const std::wstring chosen = Widen(TempPath("")) + L"\u6642\u5831 chime.wav";
    const scoped::File file(CreateFileW(chosen.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(file.Valid());
    const std::wstring so = L"C:\\windows\\\u30BD.wav";  // "ソ"
    const struct {
        std::wstring edit;
        bool accept;
        std::wstring startFolder, fileName, editAfter;
    } cases[] = {
        /* 1 */ {L"", true, Widen(ProductFolder()), L"", chosen},
        /* 2 */ {so, false, L"C:\\windows", L"\u30BD.wav", so},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        StandInDialog controls;
        const HWND dialog = controls.Dialog.Get();
        SetDlgItemTextW(dialog, 114, cases[i].edit.c_str());
        const ChooserView view = RunChooser(dialog, cases[i].accept ? &chosen : nullptr);
        EXPECT_EQ(cases[i].accept, view.Accepted);
        EXPECT_FALSE(view.MovedFolder);

        ASSERT_TRUE(view.Seen) << "the chooser never showed";
        EXPECT_EQ(L"\u30B5\u30A6\u30F3\u30C9\u30D5\u30A1\u30A4\u30EB\u306E\u8A2D\u5B9A",
                  view.Title);  // "サウンドファイルの設定"
        EXPECT_EQ(L"Wave\u30B5\u30A6\u30F3\u30C9 (*.wav)", view.Filter);
        EXPECT_EQ(cases[i].startFolder, view.StartFolder);
        EXPECT_EQ(cases[i].fileName, view.FileName);
        EXPECT_EQ(cases[i].editAfter, ControlText(dialog, 114));
    }
}
