#include "dialog/dialog_services.h"

#include <cderr.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <cstring>
#include <new>

#include "dialog/help_paths.h"
#include "dialog/html_help.h"
#include "dialog/service_records.h"
#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/directory_of_path.h"
#include "settings/settings_paths.h"
#include "win32/path_size.h"
#include "win32/platform.h"
#include "win32/resource_text.h"
#include "win32/system_library.h"

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
// fit kPathBytes (it would come back cut).
bool GetModuleFolder(HINSTANCE module, char (&folder)[kPathBytes]) {
    const DWORD length = GetModuleFileNameA(module, folder, kPathBytes);
    if (length == 0 || length >= kPathBytes) {
        folder[0] = '\0';
        return false;
    }
    GetDirectoryOfPath(folder, folder, AnsiCodePageRule());
    return true;
}

// Where the help library finds the help file (or, with `popup`, its pop-up topics).
// False when the path does not fit kPathBytes; then nothing is to be opened.
bool GetHelpTarget(HINSTANCE module, bool popup, char (&target)[kPathBytes]) {
    target[0] = '\0';
    char folder[kPathBytes];
    if (!GetModuleFolder(module, folder)) return false;
    char helpFile[kPathBytes] = "";
    LoadResourceText(module, IDS_HELP_FILE, helpFile, kPathBytes);
    return popup ? FormatPopupSource(folder, helpFile, target, kPathBytes)
                 : FormatHelpFilePath(folder, helpFile, target, kPathBytes);
}

// Puts the process's current folder back when it goes out of scope. The chooser may move it
// (Windows documents OFN_NOCHANGEDIR as ineffective for the open dialog), and with it where
// the host's relative paths and library search start. Noted in full, as the system names it:
// in ANSI a name outside the code page comes back as another folder's, or as none. A folder
// that cannot be noted is left alone.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() {
        // Its length first (where long paths are enabled it may pass MAX_PATH); should another
        // thread move it meanwhile, again with the new length.
        DWORD size = GetCurrentDirectoryW(0, nullptr);
        for (int tries = 0; tries < 3 && size != 0 && !noted_; ++tries) {
            ::operator delete(folder_);
            folder_ = static_cast<wchar_t*>(::operator new(size * sizeof(wchar_t), std::nothrow));
            if (!folder_) return;
            const DWORD length = GetCurrentDirectoryW(size, folder_);
            noted_ = length != 0 && length < size;
            size = length;
        }
    }
    ~CurrentFolderKeeper() {
        if (noted_) SetCurrentDirectoryW(folder_);
        ::operator delete(folder_);
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    wchar_t* folder_ = nullptr;
    bool noted_ = false;
};

}  // namespace

void ReadWaveName(HWND dialog, char (&name)[kPathBytes]) {
    // The edit holds up to kPathBytes characters, each of up to two bytes.
    char text[2 * kPathBytes + 1] = "";
    GetDlgItemTextA(dialog, IDC_WAVE_NAME, text, sizeof(text));
    const std::size_t length = CutAtByteLimit(text, kPathMaxLength, AnsiCodePageRule());
    std::memcpy(name, text, length + 1);
}

INT_PTR OnHelp(HWND dialog, HINSTANCE module, const HELPINFO* info) {
    if (!info || !HasPopupHelp(info->iCtrlId)) return 0;
    char source[kPathBytes];
    if (GetHelpTarget(module, true, source)) {
        HH_POPUP popup = MakeControlPopup(static_cast<UINT>(info->iCtrlId), info->MousePos);
        ShowHelp(dialog, source, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
    }
    return 1;
}

int OpenHelpFile(HWND dialog, HINSTANCE module) {
    char path[kPathBytes];
    if (GetHelpTarget(module, false, path)) {
        ShowHelp(dialog, path, HH_DISPLAY_TOPIC, 0);
    }
    return 1;
}

int TestPlay(HWND dialog) {
    char name[kPathBytes];
    ReadWaveName(dialog, name);
    platform::PlaySound(name, SND_ASYNC | SND_NOWAIT);
    return 1;
}

int ChooseWaveFile(HWND dialog, HINSTANCE module) {
    const auto choose = TheChooserLibrary.Find<GetOpenFileNameAFunction>("GetOpenFileNameA");
    if (!choose) return FALSE;  // as a failed chooser: nothing shown, nothing changed

    char title[80] = "";
    LoadResourceText(module, IDS_CHOOSER_TITLE, title, sizeof(title));

    char startFolder[kPathBytes] = "";
    char appData[kPathBytes] = "";
    if (SUCCEEDED(GetAppDataFolder(dialog, appData))) {
        char subFolder[kPathBytes] = "";
        LoadResourceText(module, IDS_CHOOSER_FOLDER, subFolder, kPathBytes);
        FormatChooserFolder(appData, subFolder, startFolder, kPathBytes);  // too long: empty
    }

    char file[kPathBytes];
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
