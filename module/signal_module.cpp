#include "module/signal_module.h"

SignalModule* TheSignalModule = nullptr;

SignalModule::SignalModule(HINSTANCE instance)
    : SignalSettings(instance), ModuleInstance(instance) {
    // No clock reading has these values, so the first due check never waits.
    LastCheck.wHour = 0xFFFF;
    LastCheck.wMinute = 0xFFFF;
    LastCheck.wSecond = 0xFFFF;
}

SignalModule::~SignalModule() {
    StopSignalTimer();
}

void SignalModule::SetParentWindow(HWND window) {
    MoveSignalTimer(window);
    ParentWindow = window;
}
