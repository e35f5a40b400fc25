// Opens the settings dialog through the real Setting export, as the host would, and saves a
// picture of it (the dialog's window as it appears on the screen) as a 24-bit BMP.
// Used by scripts/screenshot-dialog under a real display. Usage: karvex_dialog_shot OUT.bmp
// Settings come from the application-data file, written here first with example values.
#include <windows.h>

#include <cstdio>
#include <fstream>

#include "support/scoped_tools.h"
#include "support/module_under_test.h"
#include "support/setting_dialog_driver.h"
#include "support/settings_files.h"

namespace {

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
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(&header), sizeof header);
    file.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    file.write(static_cast<const char*>(bits), imageBytes);
    return file.good();
}

// What a user might have chosen: the module on, the hour count, every hour, and the name
// "C:\サウンド\時報.wav" in code page 932.
constexpr char kExampleSettings[] =
    "[Orlune]\r\nEnable=1\r\nSignalType=1\r\nInterval=3600\r\nTimeType=0\r\n"
    "WaveName=C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x8E\x9E\x95\xF1.wav\r\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: karvex_dialog_shot OUT.bmp\n");
        return 2;
    }
    SettingsFilesSandbox files;
    if (!files.CreateAppDataFolders() || !WriteFileBytes(AppDataIniPath(), kExampleSettings)) {
        std::fprintf(stderr, "cannot write the example settings\n");
        return 1;
    }
    ModuleUnderTest module;
    if (!module.Loaded()) {
        std::fprintf(stderr, "cannot load %s\n", ModulePath());
        return 1;
    }
    HostWindow host;
    module.Api.SetParentWindow(host.Handle());
    module.Api.InitialLoad(0);
    bool saved = false;
    const SettingRun run = RunSettingDialogScript(module.Api.Setting, [&](HWND dialog) {
        SetForegroundWindow(dialog);
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        Sleep(300);  // let the X server finish drawing
        saved = SaveWindowPicture(dialog, argv[1]);
        Click(dialog, IDCANCEL);
    });
    module.Unload();
    if (run.Result != 0 || !saved) {
        std::fprintf(stderr, "Setting returned %d, picture %s\n", run.Result, saved ? "saved" : "not saved");
        return 1;
    }
    return 0;
}
