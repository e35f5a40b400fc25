// PandrelHost: a stand-in for the launcher. It loads one module DLL, drives it through the
// ten exports the way the launcher does (identify, hand over a window, load settings,
// start), runs the window's message loop so the module's timer fires, and on exit stops
// the module and unloads it. Every step is printed with the local time.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <type_traits>
#include <utility>

#include "host/module_api.h"
#include "host/process_resources.h"
#include "tests/win32/support/scoped_tools.h"

namespace {

std::wstring Widen(UINT codePage, const std::string& text) {
    std::wstring wide(text.size(), L'\0');  // never more UTF-16 units than bytes
    wide.resize(static_cast<size_t>(MultiByteToWideChar(
        codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
        static_cast<int>(wide.size()))));
    return wide;
}

std::string ToUtf8(const std::wstring& text) {
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
        static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

// A console gets UTF-16 (its own code page would garble UTF-8); a pipe or file gets UTF-8.
void WriteOut(const std::string& utf8) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = Widen(CP_UTF8, utf8);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

__attribute__((format(printf, 1, 2))) void Log(const char* format, ...) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1024];
    int used = std::snprintf(line, sizeof line, "[%02u:%02u:%02u.%03u] ", now.wHour,
                             now.wMinute, now.wSecond, now.wMilliseconds);
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, args);
    va_end(args);
    WriteOut(std::string(line) + "\n");
}

const char kUsage[] =
    "Usage: PandrelHost.exe [options]\n"
    "  --module PATH          module DLL to load (default: Karvex.dll beside this program)\n"
    "  --portable             load the settings in portable mode (beside this program)\n"
    "  --setting              open the module's settings dialog after loading\n"
    "  --change-portable 0|1  move the settings file to the other location\n"
    "  --minutes N            stop after N minute boundaries have passed\n"
    "  --grace SECONDS        wait this long after the last boundary (default 5)\n"
    "  --monitor              log each WM_TIMER for the host window (except the host's\n"
    "                         50 ms clock poll), and this process's handles, threads and\n"
    "                         private bytes at start, 5 s after every minute boundary and\n"
    "                         before StopModule\n"
    "  --help                 show this text\n"
    "Runs until Ctrl-C when --minutes is not given.\n";

struct Options {
    std::wstring ModulePath;
    int Portable = 0;
    bool Setting = false;
    int ChangePortable = -1;  // -1: leave the location alone
    int Minutes = 0;          // 0: run until stopped
    int GraceSeconds = 5;
    bool Monitor = false;
};

bool ParseCount(const wchar_t* text, int low, int high, int* value) {
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text, &end, 10);
    if (end == text || *end != L'\0' || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// Returns 0 to go on, otherwise the exit code (1 after --help, 2 on a bad command line).
int ParseOptions(int argc, wchar_t** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == L"--help" || arg == L"-h") {
            WriteOut(kUsage);
            return 1;
        } else if (arg == L"--portable") {
            options->Portable = 1;
        } else if (arg == L"--monitor") {
            options->Monitor = true;
        } else if (arg == L"--setting") {
            options->Setting = true;
        } else if (arg == L"--module") {
            ok = value != nullptr;
            if (ok) options->ModulePath = argv[++i];
        } else if (arg == L"--change-portable") {
            ok = value && ParseCount(argv[++i], 0, 1, &options->ChangePortable);
        } else if (arg == L"--minutes") {
            ok = value && ParseCount(argv[++i], 1, 100000, &options->Minutes);
        } else if (arg == L"--grace") {
            ok = value && ParseCount(argv[++i], 0, 3600, &options->GraceSeconds);
        } else {
            ok = false;
        }
        if (!ok) {
            WriteOut("PandrelHost: bad option or value: " + ToUtf8(arg) + "\n" + kUsage);
            return 2;
        }
    }
    return 0;
}

std::wstring DefaultModulePath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"Karvex.dll";
}

// The module's own timer (id 5000) goes straight to its callback; these two are the host's.
constexpr UINT_PTR kClockTimerId = 1;  // polls the clock to report minute boundaries
constexpr UINT_PTR kGraceTimerId = 2;  // ends the run a little after the last boundary
constexpr UINT kClockPollMs = 50;
// Resources are sampled this long after a boundary, once the chime has started and settled.
constexpr DWORD kSampleAfterBoundaryMs = 5000;

struct RunState {
    int MinutesWanted = 0;
    int GraceSeconds = 0;
    int BoundariesSeen = 0;
    WORD LastMinute = 0;
    bool Monitor = false;
    bool SamplePending = false;
    DWORD SampleDueTick = 0;
};
RunState Run;
// Shared with the console control thread.
HWND volatile HostWindow = nullptr;
LONG volatile StopRequested = 0;  // a Ctrl-C that comes before the window exists
HANDLE volatile CleanedUp = nullptr;

// One line a soak run can compare from start to end: growth there is a leak.
void LogResources(const char* when) {
    const DWORD handles = process_resources::Handles();
    const DWORD threads = process_resources::Threads();
    Log("resources %s: handles %lu, threads %lu, private bytes %lu", when, handles, threads,
        static_cast<unsigned long>(process_resources::PrivateBytes()));
}

void OnClockTick(HWND window) {
    if (Run.SamplePending && GetTickCount() - Run.SampleDueTick < 0x80000000u) {
        Run.SamplePending = false;
        LogResources("after the boundary");
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMinute == Run.LastMinute) return;
    Run.LastMinute = now.wMinute;
    ++Run.BoundariesSeen;
    if (Run.Monitor) {
        Run.SamplePending = true;
        Run.SampleDueTick = GetTickCount() + kSampleAfterBoundaryMs;
    }
    if (Run.MinutesWanted == 0) {
        Log("minute boundary %02u:%02u", now.wHour, now.wMinute);
        return;
    }
    Log("minute boundary %02u:%02u (%d of %d)", now.wHour, now.wMinute, Run.BoundariesSeen,
        Run.MinutesWanted);
    if (Run.BoundariesSeen == Run.MinutesWanted) {
        KillTimer(window, kClockTimerId);
        Log("stopping in %d s", Run.GraceSeconds);
        SetTimer(window, kGraceTimerId, static_cast<UINT>(Run.GraceSeconds) * 1000, nullptr);
    }
}

BOOL CALLBACK FindOwnedDialog(HWND candidate, LPARAM found) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(found);
    wchar_t className[16] = L"";
    GetClassNameW(candidate, className, 16);
    if (GetWindow(candidate, GW_OWNER) == search->first && wcscmp(className, L"#32770") == 0) {
        search->second = candidate;
        return FALSE;
    }
    return TRUE;
}

// The module's settings dialog, while Setting runs it on this thread.
HWND OpenModalDialogOf(HWND window) {
    std::pair<HWND, HWND> search{window, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kClockTimerId) OnClockTick(window);
        if (wParam == kGraceTimerId) {
            KillTimer(window, kGraceTimerId);
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:  // the window outlives the loop: StopModule still needs it
        if (HWND dialog = OpenModalDialogOf(window)) {
            // Quitting inside a modal loop ends the dialog as if OK had been pressed, and the
            // module would save what the user never confirmed: close it like its close box.
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Runs on a thread of its own: ask the window thread to end, and on a console close wait
// for the clean-up, since the process is ended as soon as this returns.
BOOL WINAPI OnConsoleControl(DWORD event) {
    InterlockedExchange(&StopRequested, 1);
    if (HWND window = HostWindow) PostMessageW(window, WM_CLOSE, 0, 0);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && CleanedUp) {
        WaitForSingleObject(CleanedUp, 5000);
    }
    return TRUE;
}

HWND CreateHostWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PandrelHostWindow";
    if (!RegisterClassW(&windowClass)) return nullptr;
    // Top-level and never shown: it owns the module's timer and its settings dialog.
    return CreateWindowExW(0, windowClass.lpszClassName, L"Pandrel", WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

int RunHost(const Options& options) {
    // A module with a missing dependency must fail the load, not raise a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    Log("loading %s", ToUtf8(options.ModulePath).c_str());
    scoped::Library module(LoadLibraryW(options.ModulePath.c_str()));
    if (!module.Get()) {
        Log("error: cannot load the module (error %lu)", GetLastError());
        return 3;
    }
    ModuleApi api{};
    const std::string missing = ResolveExports(module.Get(), api);
    if (!missing.empty()) {
        Log("error: the module lacks the exports %s", missing.c_str());
        return 4;
    }
    const int identified = api.QueryVekModule();
    Log("QueryVekModule -> %d", identified);
    if (identified != 1) {
        Log("error: not a Pandrel module");
        return 4;
    }

    scoped::Window window(CreateHostWindow());
    if (!window.Get()) {
        Log("error: cannot create the host window (error %lu)", GetLastError());
        return 5;
    }
    HostWindow = window.Get();
    if (StopRequested) PostMessageW(window.Get(), WM_CLOSE, 0, 0);
    api.SetParentWindow(window.Get());
    Log("SetParentWindow(%p)", static_cast<void*>(window.Get()));
    Log("InitialLoad(%d) -> %d", options.Portable, api.InitialLoad(options.Portable));

    char title[80] = {};
    const int titleLength = api.GetTitleName(title);
    title[sizeof title - 1] = '\0';
    // The module speaks the ANSI code page (932 on the systems it is made for).
    Log("GetTitleName -> %d \"%s\"", titleLength, ToUtf8(Widen(CP_ACP, title)).c_str());
    Log("IsModuleEnable -> %d", api.IsModuleEnable());
    if (options.Setting) {
        Log("Setting -> %d", api.Setting());
        Log("IsModuleEnable -> %d", api.IsModuleEnable());
    }
    if (options.ChangePortable >= 0) {
        Log("ChangePortableMode(%d) -> %d", options.ChangePortable,
            api.ChangePortableMode(options.ChangePortable));
    }
    Log("StartModule -> %d", api.StartModule());
    if (options.Monitor) LogResources("at start");

    SYSTEMTIME now;
    GetLocalTime(&now);
    Run.LastMinute = now.wMinute;
    SetTimer(window.Get(), kClockTimerId, kClockPollMs, nullptr);
    if (options.Minutes > 0) {
        Log("running until %d minute boundar%s passed, then %d s more", options.Minutes,
            options.Minutes == 1 ? "y has" : "ies have", options.GraceSeconds);
    } else {
        Log("running; Ctrl-C to stop");
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (options.Monitor && message.message == WM_TIMER && message.hwnd == window.Get() &&
            message.wParam != kClockTimerId) {
            Log("WM_TIMER id %u", static_cast<unsigned>(message.wParam));
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    if (options.Monitor) LogResources("at the end");
    Log("StopModule -> %d", api.StopModule());
    Log("FreeLibrary -> %ld", module.Reset());
    HostWindow = nullptr;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (const int code = ParseOptions(argc, argv, &options)) return code == 1 ? 0 : code;
    if (options.ModulePath.empty()) options.ModulePath = DefaultModulePath();
    Run.MinutesWanted = options.Minutes;
    Run.GraceSeconds = options.GraceSeconds;
    Run.Monitor = options.Monitor;

    scoped::Handle cleanedUp(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CleanedUp = cleanedUp.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int code = RunHost(options);
    Log("exit %d", code);
    SetEvent(cleanedUp.Get());
    return code;
}
