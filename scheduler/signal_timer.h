#pragma once
// The one window timer that wakes the module at every minute boundary, and the playback
// it starts. Runs on the host's window thread.
#include <windows.h>

constexpr UINT_PTR SIGNAL_TIMER_ID = 5000;

extern "C" {
// Timer callback handed to SetTimer: runs the module's firing (SignalModule::OnSignalTimer)
// for SIGNAL_TIMER_ID while the module object exists, and nothing for any other id. It holds
// a reference on the module for as long as it runs, and gives it back as its very last act
// (module/host_call_pins.cpp), so that a worker's release cannot unmap the module under it.
void CALLBACK SignalTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);
}

// Starts an asynchronous play of `name` and returns at once.
void PlayOnce(const char* name);
