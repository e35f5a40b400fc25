// Opens the settings dialog through the real Setting export, as the host would, and saves a
// picture of it (the dialog's window as it appears on the screen) as a 24-bit BMP.
// Used by scripts/screenshot-dialog under a real display. Usage: karvex_dialog_shot OUT.bmp
// Settings come from the application-data file, written here first with example values.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/module_under_test.h"
#include "module/scoped_win.h"

namespace {

const char* outputPath = nullptr;
bool saved = false;

class File {
public:
    explicit File(const char* path) : file_(std::fopen(path, "wb")) {}
    ~File() {
        if (file_) std::fclose(file_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_;
};

// The window's screen area into a bottom-up 24-bit BMP file.
bool SaveWindowPicture(HWND window, const char* path) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const scoped::ScreenDc screen(GetDC(nullptr));
    const scoped::MemoryDc memory(CreateCompatibleDC(screen.Get()));
    void* bits = nullptr;
    const scoped::GdiObject bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap.Get()) return false;
    HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
    const BOOL copied = BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top,
                               SRCCOPY);
    SelectObject(memory.Get(), old);
    if (!copied) return false;

    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    File file(path);
    return file.Get() && std::fwrite(&header, sizeof header, 1, file.Get()) == 1 &&
           std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file.Get()) == 1 &&
           std::fwrite(bits, imageBytes, 1, file.Get()) == 1;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK Shoot(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, timer);
    SetForegroundWindow(dialog);
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    Sleep(300);  // let the X server finish drawing
    saved = SaveWindowPicture(dialog, outputPath);
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// What a user might have chosen: the module on, the hour count, every hour.
bool WriteExampleSettings() {
    char folder[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return false;
    }
    const std::string vendor = std::string(folder) + "\\Bexmoor";
    const std::string product = vendor + "\\Pandrel";
    CreateDirectoryA(vendor.c_str(), nullptr);
    CreateDirectoryA(product.c_str(), nullptr);
    const std::string ini = product + "\\Orlune.ini";
    // "C:\サウンド\時報.wav" in code page 932.
    const char* wave = "C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x8E\x9E\x95\xF1.wav";
    const char* keys[][2] = {{"Enable", "1"},  {"SignalType", "1"}, {"Interval", "3600"},
                             {"TimeType", "0"}, {"WaveName", wave}};
    for (const auto& key : keys) {
        if (!WritePrivateProfileStringA("Orlune", key[0], key[1], ini.c_str())) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: karvex_dialog_shot OUT.bmp\n");
        return 2;
    }
    outputPath = argv[1];
    if (!WriteExampleSettings()) {
        std::fprintf(stderr, "cannot write the example settings\n");
        return 1;
    }
    ModuleUnderTest module;
    if (!module.Loaded()) {
        std::fprintf(stderr, "cannot load %s\n", ModulePath());
        return 1;
    }
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 400,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    module.Api.SetParentWindow(host);
    module.Api.InitialLoad(0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 1500, Shoot);
    const int result = module.Api.Setting();
    KillTimer(nullptr, timer);
    module.Unload();
    DestroyWindow(host);
    if (result != 0 || !saved) {
        std::fprintf(stderr, "Setting returned %d, picture %s\n", result, saved ? "saved" : "not saved");
        return 1;
    }
    return 0;
}
