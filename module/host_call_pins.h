#pragma once
// The module's code that the host's thread runs for longer than a call's own work: the timer
// callback, and the settings dialog that Setting runs. Each holds a reference on the module
// while it runs (module/host_call_pins.cpp).
#include <windows.h>

extern "C" {
// The timer callback handed to SetTimer: the module's firing (SignalModule::OnSignalTimer)
// for SIGNAL_TIMER_ID while the module object exists, nothing for any other id.
void CALLBACK SignalTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);
}

// Takes over one module reference that the caller holds (TakeModuleReference) and hands it to
// a one-shot timer of the calling thread, whose callback gives it back when the thread's
// message loop next dispatches. False when the system refused the timer: the reference is
// then kept, and the module stays mapped until the process ends.
bool GiveBackAtNextDispatch();
