#pragma once
// The records the dialog services hand to the system: the text pop-up of a control and the
// file chooser for a WAV file. Kept apart from the calls so their fields can be checked.
#include <windows.h>
#include <commdlg.h>

#include "dialog/html_help.h"

// Pop-up record for the topic numbered `controlId`, shown at `mouse` with the library's
// default colours, margins and font.
HH_POPUP MakeControlPopup(UINT controlId, POINT mouse);

// The chooser's one-entry filter, "Waveサウンド (*.wav)" / "*.wav", double-NUL ended, in
// code page 932. kWaveFileFilterBytes counts every byte including the final NUL.
extern const char kWaveFileFilter[];
constexpr size_t kWaveFileFilterBytes = 28;

// Chooser record: owner `dialog`, the filter above, file buffer `file` (MAX_PATH bytes,
// holding the current name), start folder and title as given; read-only box hidden; the
// current folder left as it is.
OPENFILENAMEA MakeWaveFileChooser(HWND dialog, char* file, const char* startFolder,
                                  const char* title);
