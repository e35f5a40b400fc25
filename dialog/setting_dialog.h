#pragma once
// The modal settings dialog (template IDD_SETTING) owned by the host's window: the Setting
// export's dialog. It edits the settings only when it ends with OK. Host window thread only.
#include <windows.h>

class SignalSettings;

// One dialog's state, alive for one RunSettingDialog call.
class SettingDialog {
public:
    SettingDialog(HINSTANCE moduleInstance, SignalSettings* settings)
        : ModuleInstance(moduleInstance), Settings(settings) {}

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
    SignalSettings* Settings;
};

// The dialog procedure. Messages that come before WM_INITDIALOG are left unhandled.
INT_PTR CALLBACK SettingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the dialog over `settings`, owned by `owner`, and returns its result: 1 OK (the
// controls stored into the settings, which are then the user's own to save), 0 Cancel or
// close, -1 when it could not open. A WM_QUIT that ends the dialog's loop also returns
// non-zero under Wine, without storing anything.
int RunSettingDialog(HINSTANCE moduleInstance, HWND owner, SignalSettings& settings);
