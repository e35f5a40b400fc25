#pragma once
// This test program started again as a child process, to play a host that ends, is killed, or
// races the test: with `arguments` (a GoogleTest filter, say) and, in its environment only,
// `variable` set to `value` (which tells it what to do).
#include <windows.h>

#include <string>

#include "win32/scoped_win.h"

struct ChildProcess {
    ChildProcess(const std::string& arguments, const char* variable = nullptr,
                 const std::string& value = "", DWORD flags = 0) {
        char exe[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string command = std::string("\"") + exe + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (variable) SetEnvironmentVariableA(variable, value.c_str());
        const BOOL created = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, flags,
                                            nullptr, nullptr, &startup, &started);
        if (variable) SetEnvironmentVariableA(variable, nullptr);
        if (!created) return;
        CloseHandle(started.hThread);
        Process.Reset(started.hProcess);
        Id = started.dwProcessId;
    }

    scoped::Handle Process;  // empty when it could not start
    DWORD Id = 0;
};
