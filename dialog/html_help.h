#pragma once
// The HTML help library's help function, ANSI form, and its text pop-up record. The library
// (hhctrl.ocx) exports the function by ordinal only; the module looks it up that way when
// help is first asked for. Declared here rather than taken from <htmlhelp.h>, whose
// HtmlHelpA expects the run-time loading stub of libhtmlhelp.
#include <windows.h>

constexpr UINT HH_DISPLAY_TOPIC = 0x0000;
constexpr UINT HH_DISPLAY_TEXT_POPUP = 0x000E;

// Layout of the library's ANSI HH_POPUP.
struct HH_POPUP {
    int cbStruct;
    HINSTANCE hinst;
    UINT idString;         // topic number in the text source
    LPCSTR pszText;        // used only when idString is 0
    POINT pt;              // top centre of the pop-up, screen coordinates
    COLORREF clrForeground;  // -1: default
    COLORREF clrBackground;  // -1: default
    RECT rcMargins;        // -1 each: default
    LPCSTR pszFont;
};
static_assert(sizeof(HH_POPUP) == 52, "HH_POPUP is a 52-byte record on 32-bit Windows");

constexpr WORD kHtmlHelpAOrdinal = 14;
using HtmlHelpAFunction = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
