#pragma once
// The module's entry points that the host's thread runs for longer than a call's own work,
// each holding a reference on the module while it runs (module/host_call_pins.cpp). The
// Setting export is the other; exports.h declares it.
#include <windows.h>

extern "C" {
// The timer callback handed to SetTimer: the module's firing (SignalModule::OnSignalTimer)
// for SIGNAL_TIMER_ID while the module object exists, nothing for any other id.
void CALLBACK SignalTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);
}
