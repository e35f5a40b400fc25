#pragma once
// Drives a modal dialog (the settings dialog, the file chooser) from the thread that opened
// it: a thread timer fires inside the dialog's own message loop, finds the dialog and runs a
// script against it (clicks, typing, reading control states). The script ends the dialog.
#include <windows.h>

#include <functional>
#include <string>

#include "resources/resource_ids.h"
#include "support/scoped_tools.h"

struct SettingRun {
    int Result = 0;          // what Setting (or `open`) returned
    bool ScriptRan = false;  // the dialog was found and the script ran
    bool LeftOpen = false;   // the script did not end the dialog; the driver closed it
};

// Calls `open`, which shows a modal dialog, and runs `script` once `find` has seen the dialog
// shown for `settleTicks` ticks of 20 ms.
SettingRun RunDialogScript(const std::function<int()>& open, const std::function<HWND()>& find,
                           const std::function<void(HWND)>& script, int settleTicks = 1);
// Calls `setting` (the module's Setting export) and runs `script` once the dialog is up; then
// runs the host's loop on until Setting's module reference has gone back.
SettingRun RunSettingDialogScript(int(WINAPI* setting)(), const std::function<void(HWND)>& script);
// The host's loop going on after the module's Setting export (`setting`) returned, until a
// timer that gives back Setting's module reference has been dispatched; at once when
// the module is gone, a second at most (a refused timer leaves the reference kept).
void RunHostLoopUntilSettingLetGo(const void* setting);

// This thread's dialog with the caption, or its shown dialog when `caption` is null; or null.
HWND FindThreadDialog(const wchar_t* caption);

// What a user does.
void Click(HWND dialog, int id);                         // BM_CLICK on a button
void TypeText(HWND dialog, int id, const wchar_t* text); // replaces the edit's whole text
                                                         // as typing does (limit applies)
void CloseBox(HWND dialog);                              // the caption's close box

// What the user sees.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
int ListSelection(HWND dialog);          // CB_ERR when nothing is selected
std::wstring ListItems(HWND dialog);     // the list's labels joined with '|'

// A window of this thread, child of `parent` when there is one.
scoped::Window MakeWindow(HWND parent, const wchar_t* windowClass, DWORD style, int id);

// The controls of the settings dialog that the settings and the dialog services read, with
// their ids, on a window standing in for the dialog. The edit has no length limit, so a name
// longer than the dialog's edit would take reaches them too.
struct StandInDialog {
    scoped::Window Dialog = MakeWindow(nullptr, L"STATIC", WS_OVERLAPPED, 0);
    scoped::Window Use = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_USE_MODULE);
    scoped::Window HourCount = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_HOUR_COUNT);
    scoped::Window Clock24 = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_CLOCK_24);
    scoped::Window List = MakeWindow(Dialog.Get(), L"COMBOBOX", CBS_DROPDOWNLIST, IDC_INTERVAL_LIST);
    scoped::Window Edit = MakeWindow(Dialog.Get(), L"EDIT", ES_AUTOHSCROLL, IDC_WAVE_NAME);
};

// A hidden top-level window of this thread, standing in for the host's window.
class HostWindow {
public:
    HostWindow();
    HWND Handle() const { return window_.Get(); }

private:
    scoped::Window window_;
};
