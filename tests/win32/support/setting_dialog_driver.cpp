#include "support/setting_dialog_driver.h"

#include <cstring>
#include <cwchar>

#include "resources/resource_ids.h"

namespace {

constexpr UINT kTickMs = 20;
constexpr INT_PTR kLeftOpenResult = 0x7E57;

const std::function<void(HWND)>* currentScript = nullptr;
SettingRun* currentRun = nullptr;

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    if (std::strcmp(className, "#32770") == 0 && std::wcscmp(caption, L"時報モジュール") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!currentRun) return;
    HWND dialog = FindSettingDialog();
    if (!dialog || !IsWindowVisible(dialog)) return;
    if (!currentRun->ScriptRan) {
        currentRun->ScriptRan = true;
        (*currentScript)(dialog);
        return;
    }
    // Still open a tick after the script: close it so the test fails instead of hanging.
    currentRun->LeftOpen = true;
    EndDialog(dialog, kLeftOpenResult);
}

}  // namespace

SettingRun RunSettingDialogScript(int(WINAPI* setting)(), const std::function<void(HWND)>& script) {
    SettingRun run;
    currentScript = &script;
    currentRun = &run;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
    run.Result = setting();
    KillTimer(nullptr, timer);
    currentRun = nullptr;
    currentScript = nullptr;
    return run;
}

HWND FindSettingDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialogWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void TypeText(HWND dialog, int id, const wchar_t* text) {
    HWND edit = GetDlgItem(dialog, id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
}

void CloseBox(HWND dialog) {
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::wstring ControlText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

bool IsEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

int ListSelection(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_GETCURSEL, 0, 0));
}

std::wstring ListItems(HWND dialog) {
    std::wstring items;
    const int count = static_cast<int>(SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t label[64] = {};
        SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label));
        if (i > 0) items += L'|';
        items += label;
    }
    return items;
}

HostWindow::HostWindow()
    : window_(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}
