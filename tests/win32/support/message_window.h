#pragma once
// A message-only window of the calling thread, destroyed with its holder: the stand-in for
// the host's window that owns the module's timer.
#include <windows.h>

class MessageWindow {
public:
    MessageWindow()
        : handle_(CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}
    ~MessageWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND Get() const { return handle_; }

private:
    HWND handle_;
};
