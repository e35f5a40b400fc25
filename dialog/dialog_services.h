#pragma once
// Services of the settings dialog that reach outside it: pop-up help for a control, the
// help file, a test play of the named file, and the system's file chooser.
#include <windows.h>

#include "win32/path_size.h"

// The help library and the file chooser's are loaded at their first use; where one is
// missing, its service shows nothing and the dialog goes on.

// The WaveName edit's text, cut to at most kPathMaxLength bytes on a character boundary
// (never inside a double-byte character), terminated.
void ReadWaveName(HWND dialog, char (&name)[kPathBytes]);

// WM_HELP: shows the control's pop-up topic and returns 1, or returns 0 (nothing shown)
// for a control without help.
INT_PTR OnHelp(HWND dialog, HINSTANCE module, const HELPINFO* info);
// Help button: opens the help file's default topic. Returns 1.
int OpenHelpFile(HWND dialog, HINSTANCE module);
// Test button: plays the edit's current text asynchronously. Returns 1.
int TestPlay(HWND dialog);
// "..." button: runs the file chooser (again without a name when it rejects the edit's);
// on success the edit receives the chosen path and the result is non-zero.
int ChooseWaveFile(HWND dialog, HINSTANCE module);
