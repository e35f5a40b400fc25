#include "settings/settings_paths.h"

#include <shlobj.h>
#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/directory_of_path.h"
#include "settings/signal_settings.h"
#include "win32/resource_text.h"
#include "win32/system_library.h"

namespace {

// Large enough for any executable path the system hands out in ANSI form.
constexpr DWORD kModulePathBytes = 32768;

bool Fits(int written, int bytes) {
    return written >= 0 && written < bytes;
}

}  // namespace

HRESULT GetAppDataFolder(HWND owner, char* folder) {
    folder[0] = '\0';
    using Function = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const auto getFolderPath = TheShellFolderLibrary.Find<Function>("SHGetFolderPathA");
    if (!getFolderPath) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return getFolderPath(owner, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
}

bool GetAppDataIniPath(HINSTANCE resources, char* path) {
    path[0] = '\0';
    char appData[kPathBytes] = "";
    char vendor[kPathBytes], product[kPathBytes], file[kPathBytes];
    if (FAILED(GetAppDataFolder(nullptr, appData))) {
        // Without the folder the path would be relative to wherever the host runs.
        return false;
    }
    LoadResourceText(resources, IDS_FOLDER_VENDOR, vendor, kPathBytes);
    LoadResourceText(resources, IDS_FOLDER_PRODUCT, product, kPathBytes);
    LoadResourceText(resources, IDS_INI_FILE, file, kPathBytes);
    char joined[kPathBytes];
    if (!Fits(std::snprintf(joined, sizeof joined, "%s\\%s\\%s\\%s", appData, vendor, product, file),
              kPathBytes)) {
        return false;
    }
    std::memcpy(path, joined, sizeof joined);
    return true;
}

bool GetPortableIniPath(HINSTANCE resources, char* path) {
    path[0] = '\0';
    static wchar_t wideHostPath[kModulePathBytes];  // host window thread only
    static char hostPath[kModulePathBytes * 2];
    const DWORD length = GetModuleFileNameW(nullptr, wideHostPath, kModulePathBytes);
    if (length == 0 || length >= kModulePathBytes) return false;
    // In the ANSI code page, as every file call converts it back (a host that switched the
    // file functions to OEM gets OEM text from GetModuleFileNameA); a folder whose name the
    // code page cannot spell has no ANSI path that names it.
    BOOL lost = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wideHostPath, -1, hostPath,
                            static_cast<int>(sizeof hostPath), nullptr, &lost) == 0 || lost) {
        return false;
    }
    GetDirectoryOfPath(hostPath, hostPath, AnsiCodePageRule());
    char file[kPathBytes];
    LoadResourceText(resources, IDS_INI_FILE, file, kPathBytes);
    char joined[kPathBytes];
    if (!Fits(std::snprintf(joined, sizeof joined, "%s%s", hostPath, file), kPathBytes)) {
        return false;
    }
    std::memcpy(path, joined, sizeof joined);
    return true;
}
