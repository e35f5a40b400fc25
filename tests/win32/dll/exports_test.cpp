// The module as the host sees it: its exports by name and ordinal, the stdcall stack
// discipline, and the title.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "support/import_hook.h"
#include "support/message_window.h"
#include "support/module_under_test.h"
#include "resources/version.h"

namespace {

const char* const kExportsInOrdinalOrder[] = {
    "QueryVekModule", "SetParentWindow", "IsModuleEnable", "GetTitleName", "Setting",
    "StartModule",    "StopModule",      "SetPortableMode", "ChangePortableMode", "InitialLoad",
};

int WINAPI LoadsNothing(HINSTANCE, UINT, LPSTR, int) {
    return 0;
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
