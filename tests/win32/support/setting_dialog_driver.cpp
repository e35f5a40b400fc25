#include "support/setting_dialog_driver.h"

#include <cwchar>
#include <utility>

#include "resources/resource_ids.h"

namespace {

constexpr INT_PTR kLeftOpenResult = 0x7E57;

struct Driven {
    const std::function<HWND()>* Find;
    const std::function<void(HWND)>* Script;
    int SettleTicks;
    int Ticks;
    SettingRun* Run;
};
Driven* driven = nullptr;
UINT_PTR drivingTimer = 0;  // the last driver's thread timer, which a queue may still hold

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!driven) return;
    HWND dialog = (*driven->Find)();
    if (!dialog || !IsWindowVisible(dialog) || ++driven->Ticks < driven->SettleTicks) return;
    if (!driven->Run->ScriptRan) {
        driven->Run->ScriptRan = true;
        (*driven->Script)(dialog);
        return;
    }
    // Still open a tick after the script: close it so the test fails instead of hanging.
    driven->Run->LeftOpen = true;
    EndDialog(dialog, kLeftOpenResult);
}

// `wanted`: the caption (null: any shown dialog) and the dialog found.
BOOL CALLBACK FindDialogWindow(HWND window, LPARAM wanted) {
    auto& [caption, found] = *reinterpret_cast<std::pair<const wchar_t*, HWND>*>(wanted);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wcscmp(className, L"#32770") != 0) return TRUE;
    if (caption ? WindowText(window) != caption : !IsWindowVisible(window)) return TRUE;
    found = window;
    return FALSE;
}

}  // namespace

SettingRun RunDialogScript(const std::function<int()>& open, const std::function<HWND()>& find,
                           const std::function<void(HWND)>& script, int settleTicks) {
    SettingRun run;
    Driven current{&find, &script, settleTicks, 0, &run};
    driven = &current;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    drivingTimer = timer;
    run.Result = open();
    KillTimer(nullptr, timer);
    driven = nullptr;
    return run;
}

SettingRun RunSettingDialogScript(int(WINAPI* setting)(), const std::function<void(HWND)>& script) {
    const SettingRun run = RunDialogScript(setting, [] { return FindThreadDialog(L"時報モジュール"); }, script);
    RunHostLoopUntilSettingLetGo(reinterpret_cast<const void*>(setting));
    return run;
}

void RunHostLoopUntilSettingLetGo(const void* setting) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(setting), &module)) {
        return;
    }
    // The module's are the one thread timer left once the driver's is gone, and one on the
    // host's window beside the signal timer (5000). (Their callback is not told by lParam:
    // under Wine that is not the callback's address.)
    for (const DWORD begun = GetTickCount(); GetTickCount() - begun < 1000;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            const bool release = message.message == WM_TIMER &&
                                 message.wParam != (message.hwnd ? 5000 : drivingTimer);
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (release) return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

HWND FindThreadDialog(const wchar_t* caption) {
    std::pair<const wchar_t*, HWND> wanted{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogWindow, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
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

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ControlText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
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

scoped::Window MakeWindow(HWND parent, const wchar_t* windowClass, DWORD style, int id) {
    return scoped::Window(CreateWindowExW(0, windowClass, L"", style | (parent ? WS_CHILD : 0), 0, 0,
                                          200, 200, parent,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                          GetModuleHandleW(nullptr), nullptr));
}

HostWindow::HostWindow()
    : window_(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}
