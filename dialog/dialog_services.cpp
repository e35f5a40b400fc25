#include "dialog/dialog_services.h"

#include <cderr.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <cstring>

#include "dialog/help_paths.h"
#include "dialog/html_help.h"
#include "dialog/service_records.h"
#include "module/system_library.h"
#include "resources/resource_ids.h"
#include "scheduler/platform.h"
#include "settings/ansi_code_page.h"
#include "settings/directory_of_path.h"
#include "settings/settings_paths.h"

namespace {

using GetOpenFileNameAFunction = BOOL(WINAPI*)(OPENFILENAMEA* record);
using CommDlgExtendedErrorFunction = DWORD(WINAPI*)();

// Calls the help library's help function; without the library or the function, shows
// nothing and answers NULL, as the function does when it fails.
HWND ShowHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
    const auto help = TheHelpLibrary.Find<HtmlHelpAFunction>(MAKEINTRESOURCEA(kHtmlHelpAOrdinal));
    return help ? help(caller, file, command, data) : nullptr;
}

// The folder of the module's own file, ending in '\'. False when the file name does not
// fit MAX_PATH (it would come back cut).
bool GetModuleFolder(HINSTANCE module, char (&folder)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameA(module, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        folder[0] = '\0';
        return false;
    }
    GetDirectoryOfPath(folder, folder, AnsiCodePageRule());
    return true;
}

// Where the help library finds the help file (or, with `popup`, its pop-up topics).
// False when the path does not fit MAX_PATH; then nothing is to be opened.
bool GetHelpTarget(HINSTANCE module, bool popup, char (&target)[MAX_PATH]) {
    target[0] = '\0';
    char folder[MAX_PATH];
    if (!GetModuleFolder(module, folder)) return false;
    char helpFile[MAX_PATH] = "";
    LoadStringA(module, IDS_HELP_FILE, helpFile, MAX_PATH);
    return popup ? FormatPopupSource(folder, helpFile, target, MAX_PATH)
                 : FormatHelpFilePath(folder, helpFile, target, MAX_PATH);
}

// The edit's text, at most MAX_PATH - 1 bytes. Read through a buffer large enough for the
// edit's whole limit so the cut falls on a character boundary, never inside a double-byte
// character.
void ReadWaveName(HWND dialog, char (&name)[MAX_PATH]) {
    char text[2 * MAX_PATH + 1] = "";
    GetDlgItemTextA(dialog, IDC_WAVE_NAME, text, sizeof(text));
    CutAtByteLimit(text, MAX_PATH - 1, AnsiCodePageRule());
    std::memcpy(name, text, MAX_PATH - 1);
    name[MAX_PATH - 1] = '\0';
}

// Puts the process's current folder back when it goes out of scope. The chooser may move it
// (Windows documents OFN_NOCHANGEDIR as ineffective for the open dialog), and with it where
// the host's relative paths and library search start.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() {
        const DWORD length = GetCurrentDirectoryA(sizeof folder_, folder_);
        if (length == 0 || length >= sizeof folder_) folder_[0] = '\0';
    }
    ~CurrentFolderKeeper() {
        if (folder_[0] != '\0') SetCurrentDirectoryA(folder_);
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    char folder_[MAX_PATH];
};

}  // namespace

INT_PTR OnHelp(HWND dialog, HINSTANCE module, const HELPINFO* info) {
    if (!info || !HasPopupHelp(info->iCtrlId)) return 0;
    char source[MAX_PATH];
    if (GetHelpTarget(module, true, source)) {
        HH_POPUP popup = MakeControlPopup(static_cast<UINT>(info->iCtrlId), info->MousePos);
        ShowHelp(dialog, source, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
    }
    return 1;
}

int OpenHelpFile(HWND dialog, HINSTANCE module) {
    char path[MAX_PATH];
    if (GetHelpTarget(module, false, path)) {
        ShowHelp(dialog, path, HH_DISPLAY_TOPIC, 0);
    }
    return 1;
}

int TestPlay(HWND dialog) {
    char name[MAX_PATH];
    ReadWaveName(dialog, name);
    platform::PlaySound(name, SND_ASYNC | SND_NOWAIT);
    return 1;
}

int ChooseWaveFile(HWND dialog, HINSTANCE module) {
    const auto choose = TheChooserLibrary.Find<GetOpenFileNameAFunction>("GetOpenFileNameA");
    if (!choose) return FALSE;  // as a failed chooser: nothing shown, nothing changed

    char title[80] = "";
    LoadStringA(module, IDS_CHOOSER_TITLE, title, sizeof(title));

    char startFolder[MAX_PATH] = "";
    char appData[MAX_PATH] = "";
    if (SUCCEEDED(GetAppDataFolder(dialog, appData))) {
        char subFolder[MAX_PATH] = "";
        LoadStringA(module, IDS_CHOOSER_FOLDER, subFolder, MAX_PATH);
        FormatChooserFolder(appData, subFolder, startFolder, MAX_PATH);  // too long: empty
    }

    char file[MAX_PATH];
    ReadWaveName(dialog, file);
    OPENFILENAMEA chooser = MakeWaveFileChooser(dialog, file, startFolder, title);
    const CurrentFolderKeeper hostFolder;
    BOOL chosen = choose(&chooser);
    // A name the chooser rejects ('"', '<', too long) makes it fail at once without
    // showing anything, so "..." would seem dead: open it once more without a name.
    if (!chosen && file[0] != '\0') {
        const auto lastError =
            TheChooserLibrary.Find<CommDlgExtendedErrorFunction>("CommDlgExtendedError");
        if (lastError && lastError() == FNERR_INVALIDFILENAME) {
            file[0] = '\0';
            chosen = choose(&chooser);
        }
    }
    if (chosen) SetDlgItemTextA(dialog, IDC_WAVE_NAME, file);
    return chosen;
}
