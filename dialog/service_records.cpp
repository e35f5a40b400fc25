#include "dialog/service_records.h"

#include "win32/path_size.h"

// 88 bytes: the record with the fields added in Windows 2000 (pvReserved, dwReserved,
// FlagsEx), which the chooser accepts on every system the module supports.
static_assert(sizeof(OPENFILENAMEA) == 88, "the chooser record is the 88-byte form");

// "サウンド" is spelled as its code page 932 bytes so the text does not depend on the
// compiler's execution character set.
const char kWaveFileFilter[] =
    "Wave" "\x83\x54\x83\x45\x83\x93\x83\x68" " (*.wav)" "\0"
    "*.wav" "\0";
static_assert(sizeof(kWaveFileFilter) == kWaveFileFilterBytes, "filter length");

HH_POPUP MakeControlPopup(UINT controlId, POINT mouse) {
    HH_POPUP popup{};
    popup.cbStruct = sizeof(HH_POPUP);
    popup.hinst = nullptr;
    popup.idString = controlId;
    popup.pszText = nullptr;
    popup.pt = mouse;
    popup.clrForeground = static_cast<COLORREF>(-1);
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = RECT{-1, -1, -1, -1};
    popup.pszFont = nullptr;
    return popup;
}

OPENFILENAMEA MakeWaveFileChooser(HWND dialog, char* file, const char* startFolder,
                                  const char* title) {
    OPENFILENAMEA chooser{};
    chooser.lStructSize = sizeof(OPENFILENAMEA);
    chooser.hwndOwner = dialog;
    chooser.lpstrFilter = kWaveFileFilter;
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file;
    chooser.nMaxFile = kPathBytes;
    chooser.lpstrInitialDir = startFolder;
    chooser.lpstrTitle = title;
    // Without OFN_NOCHANGEDIR the chooser moves the host's current folder (even on Cancel),
    // and with it where the host's relative paths and library search start. Windows documents
    // the flag as ineffective here, so ChooseWaveFile also puts the folder back itself.
    chooser.Flags = OFN_READONLY | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return chooser;
}
