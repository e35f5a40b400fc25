#pragma once
// A message-only window of the calling thread, destroyed with its holder: the stand-in for
// the host's window that owns the module's timer.
#include <windows.h>

#include "support/scoped_tools.h"

class MessageWindow {
public:
    HWND Get() const { return window_.Get(); }

private:
    scoped::Window window_{
        CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)};
};
