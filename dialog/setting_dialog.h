#pragma once
// The Setting export's work: the modal settings dialog (template IDD_SETTING) owned by the
// host's window. The dialog edits the module's settings only when it ends with OK.
// Host window thread only.
#include <windows.h>

class SignalModule;

// One dialog's state, alive for one RunSettingDialog call.
class SettingDialog {
public:
    SettingDialog(HINSTANCE moduleInstance, SignalModule* module)
        : ModuleInstance(moduleInstance), Module(module) {}

    // WM_INITDIALOG: controls from the settings.
    void InitDialog(HWND dialog);
    // "Use the module": enables the controls that belong to it (the Test button excepted,
    // which follows the edit's text).
    void EnableModuleControls(HWND dialog);
    // OK: the controls into the settings.
    void StoreSettings(HWND dialog);
    // WM_COMMAND for control `id`; false for an id the dialog does not handle.
    bool OnCommand(HWND dialog, int id);

    HINSTANCE ModuleInstance;  // source of the template and of the help file's folder
    SignalModule* Module;
};

// The dialog procedure. Messages that come before WM_INITDIALOG are left unhandled.
INT_PTR CALLBACK SettingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Stops the timer, runs the dialog and, after OK (or a dialog that failed to open, -1),
// saves and re-arms or stops the timer. Returns the dialog's result: 1 OK, 0 Cancel or
// close, -1 failure. After 0 the timer stays stopped until StartModule.
int RunSettingDialog(SignalModule& module);
