// The module as the host sees it: its exports by name and ordinal, the stdcall stack
// discipline, and the title.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "support/import_hook.h"
#include "support/message_window.h"
#include "support/module_under_test.h"
#include "support/setting_dialog_driver.h"
#include "support/setting_values.h"
#include "support/settings_files.h"
#include "resources/version.h"

namespace {

const char* const kExportsInOrdinalOrder[] = {
    "QueryVekModule", "SetParentWindow", "IsModuleEnable", "GetTitleName", "Setting",
    "StartModule",    "StopModule",      "SetPortableMode", "ChangePortableMode", "InitialLoad",
};

int WINAPI LoadsNothing(HINSTANCE, UINT, LPSTR, int) {
    return 0;
}

INT_PTR WINAPI DialogThatFails(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
}

}  // namespace

TEST(Exports, EveryExportResolvesByNameAndByItsOrdinal) {
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    for (int ordinal = 1; ordinal <= 10; ++ordinal) {
        const char* name = kExportsInOrdinalOrder[ordinal - 1];
        FARPROC byName = GetProcAddress(module.Handle, name);
        FARPROC byOrdinal = GetProcAddress(module.Handle, MAKEINTRESOURCEA(ordinal));
        ASSERT_NE(byName, nullptr) << name;
        EXPECT_EQ(byName, byOrdinal) << name << " is not ordinal " << ordinal;
    }
    EXPECT_EQ(GetProcAddress(module.Handle, MAKEINTRESOURCEA(11)), nullptr);
    // Decorated names would mean the host cannot find the functions.
    EXPECT_EQ(GetProcAddress(module.Handle, "QueryVekModule@0"), nullptr);
    EXPECT_EQ(GetProcAddress(module.Handle, "_InitialLoad@4"), nullptr);
}

// The title, with nothing written past its terminator; a null buffer gets nothing (and 0); a
// title that cannot be loaded (the system writes nothing then) comes back empty.
TEST(Exports, GetTitleNameCopiesTheJapaneseTitleAsCodePage932) {
    ASSERT_EQ(GetACP(), 932u) << "tests expect the Japanese ANSI code page";
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    EXPECT_EQ(module.Api.GetTitleName(nullptr), 0);
    const std::string title =
        "\x8E\x9E\x95\xF1\x83\x82\x83\x57\x83\x85\x81\x5B\x83\x8B\x81\x40Version" KARVEX_VERSION_TEXT;
    for (const bool loads : {true, false}) {
        const ImportHook failing(module.Handle, "user32.dll", "LoadStringA",
                                 HookAddress(loads ? &LoadStringA : &LoadsNothing));
        char buffer[80];
        std::memset(buffer, 0x7F, sizeof buffer);
        EXPECT_EQ(module.Api.GetTitleName(buffer), loads ? static_cast<int>(title.size()) : 0);
        EXPECT_EQ(std::string(buffer, buffer + (loads ? title.size() : 0) + 2), (loads ? title : "") + '\0' + '\x7F');
    }
}

// Each export is called through a naked call sequence and ESP is compared before and
// after: a cdecl/stdcall mix-up would leave the stack off by the argument's size.
namespace {

extern "C" {
// Calls `function` with `argumentCount` (0 or 1) copies of `argument` pushed, the way a
// stdcall caller does, and returns ESP after the call minus ESP before it.
int __cdecl StackDeltaOfStdcall(void* function, int argumentCount, int argument);
}

__asm__(
    ".text\n"
    ".globl _StackDeltaOfStdcall\n"
    "_StackDeltaOfStdcall:\n"
    "    pushl %ebp\n"
    "    movl  %esp, %ebp\n"
    "    pushl %esi\n"
    "    movl  8(%ebp), %eax\n"      // function
    "    movl  12(%ebp), %ecx\n"     // argument count
    "    movl  16(%ebp), %edx\n"     // argument
    "    movl  %esp, %esi\n"         // ESP before (callee-saved; the only one used here)
    "    testl %ecx, %ecx\n"
    "    jz    1f\n"
    "    pushl %edx\n"
    "1:  call  *%eax\n"
    "    movl  %esp, %eax\n"
    "    subl  %esi, %eax\n"
    "    movl  %esi, %esp\n"         // restore whatever the callee left
    "    popl  %esi\n"
    "    popl  %ebp\n"
    "    ret\n");

}  // namespace

TEST(Exports, EveryExportRemovesItsOwnArgumentsFromTheStack) {
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    MessageWindow host;
    ASSERT_NE(host.Get(), nullptr);
    char title[80];
    const struct {
        const char* name;
        int argumentCount, argument;
    } calls[] = {
        {"QueryVekModule", 0, 0}, {"SetParentWindow", 1, static_cast<int>(reinterpret_cast<INT_PTR>(host.Get()))},
        {"SetPortableMode", 1, 0}, {"InitialLoad", 1, 0}, {"IsModuleEnable", 0, 0},
        {"GetTitleName", 1, static_cast<int>(reinterpret_cast<INT_PTR>(title))},
        {"StartModule", 0, 0}, {"StopModule", 0, 0}, {"ChangePortableMode", 1, 0},
    };
    for (const auto& call : calls) {
        void* function = reinterpret_cast<void*>(GetProcAddress(module.Handle, call.name));
        ASSERT_NE(function, nullptr) << call.name;
        EXPECT_EQ(StackDeltaOfStdcall(function, call.argumentCount, call.argument), 0) << call.name;
    }
}

// A host's session, each export once in the order a host calls them, and then the unload:
// every call answers by its result alone and leaves the thread's last error as the host set
// it, also where the system calls behind it fail (a timer with nothing to kill, a window that
// is gone or another process's, a dialog that cannot open).
TEST(Exports, EveryExportAndTheUnloadLeaveTheHostsLastError) {
    constexpr DWORD kHostsLastError = 0x20004B58;  // the customer bit: no system error
    SettingsFilesSandbox files;
    ASSERT_TRUE(files.CreateAppDataFolders());
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(), Settings(SettingValues{1, 0, 60, 0, "chime.wav"})));
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    const ImportHook failing(module.Handle, "USER32.dll", "DialogBoxParamA", HookAddress(&DialogThatFails));
    MessageWindow host;
    HWND gone = MessageWindow().Get();
    char title[80];
    const ModuleExports& api = module.Api;
    const struct {
        const char* name;
        std::function<int()> call;
        int result;
        std::function<void()> before = [] {};
    } calls[] = {
        {"QueryVekModule", [&] { return api.QueryVekModule(); }, 1},
        {"IsModuleEnable before InitialLoad", [&] { return api.IsModuleEnable(); }, 0},
        {"SetParentWindow", [&] { return api.SetParentWindow(host.Get()); }, 0},
        {"SetPortableMode", [&] { return api.SetPortableMode(1); }, 0},
        {"InitialLoad", [&] { return api.InitialLoad(1); }, 9},  // the bytes of chime.wav
        {"GetTitleName", [&] { return api.GetTitleName(title) > 0; }, 1},
        {"IsModuleEnable", [&] { return api.IsModuleEnable(); }, 1},
        {"StartModule", [&] { return api.StartModule(); }, 1},
        {"SetParentWindow, a window that is gone", [&] { return api.SetParentWindow(gone); }, 0},
        {"SetParentWindow, another process's", [&] { return api.SetParentWindow(GetDesktopWindow()); }, 0},
        {"StopModule", [&] { return api.StopModule() != 0; }, 1},
        {"StopModule, nothing pending", [&] { return api.StopModule(); }, 0},
        {"ChangePortableMode", [&] { return api.ChangePortableMode(0); }, 1},
        {"Setting, the dialog cannot open", [&] { return api.Setting(); }, -1},
        {"the unload", [&] { return FreeLibrary(std::exchange(module.Handle, nullptr)); }, TRUE,
         [&] { RunHostLoopUntilSettingLetGo(reinterpret_cast<const void*>(api.Setting)); }},
    };
    for (const auto& call : calls) {
        call.before();
        SetLastError(kHostsLastError);
        EXPECT_EQ(call.call(), call.result) << call.name;
        EXPECT_EQ(GetLastError(), kHostsLastError) << call.name;
    }
    EXPECT_FALSE(ModuleMapped());
}

// Control Flow Guard as the loader leaves the image (the clang build; the GCC build has none,
// and so no load-configuration record). The record says its own size, the one the headers
// give; the check pointer that every checked call goes through lies on a read-only page and
// points at a function of a loaded image: the module's own check, which accepts every target,
// until a loader that runs the guard puts the system's in its place. Wine never does.
TEST(Exports, TheGuardsCheckPointerIsReadOnlyOnceLoaded) {
    constexpr DWORD kCheckPointerOffset = 0x48;  // GuardCFCheckFunctionPointer, in every size
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    const auto* image = reinterpret_cast<const BYTE*>(module.Handle);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY directory =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    if (!(headers->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_GUARD_CF)) {
        EXPECT_EQ(directory.Size, 0u) << "a record without the guard";
        return;
    }
    ASSERT_GT(directory.Size, kCheckPointerOffset);
    const auto* record = reinterpret_cast<const DWORD*>(image + directory.VirtualAddress);
    EXPECT_EQ(record[0], directory.Size);
    const auto* checkPointer = reinterpret_cast<void* const*>(record[kCheckPointerOffset / 4]);
    MEMORY_BASIC_INFORMATION page{};
    ASSERT_NE(VirtualQuery(checkPointer, &page, sizeof page), 0u);
    EXPECT_EQ(page.Protect, static_cast<DWORD>(PAGE_READONLY));
    HMODULE checkIn = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCSTR>(*checkPointer), &checkIn));
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        EXPECT_EQ(checkIn, module.Handle) << "Wine replaced the check";
    }
}
