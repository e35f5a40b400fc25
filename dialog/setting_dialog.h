#pragma once
// The Setting export's work: the modal settings dialog owned by the host's window.
#include <windows.h>

class SignalModule;

// Stops the timer, runs the dialog (template IDD_SETTING) and, after OK (or a dialog that
// failed to open, -1), saves and re-arms or stops the timer. Returns the dialog's result.
int RunSettingDialog(SignalModule& module);
