#pragma once
// Owners of the handles that only the stand-in host, the screenshot tool and the tests use,
// on the module's own owner template (win32/scoped_win.h).
#include <windows.h>

#include "win32/scoped_win.h"

namespace scoped {

struct WindowTraits : NullIsEmpty<HWND> {
    static BOOL Close(HWND window) { return DestroyWindow(window); }
};
struct ScreenDcTraits : NullIsEmpty<HDC> {
    static int Close(HDC dc) { return ReleaseDC(nullptr, dc); }
};
struct MemoryDcTraits : NullIsEmpty<HDC> {
    static BOOL Close(HDC dc) { return DeleteDC(dc); }
};
struct GdiObjectTraits : NullIsEmpty<HGDIOBJ> {
    static BOOL Close(HGDIOBJ object) { return DeleteObject(object); }
};

using Window = Owner<WindowTraits>;
using ScreenDc = Owner<ScreenDcTraits>;      // GetDC(nullptr)
using MemoryDc = Owner<MemoryDcTraits>;      // CreateCompatibleDC
using GdiObject = Owner<GdiObjectTraits>;    // bitmaps, brushes

}  // namespace scoped
