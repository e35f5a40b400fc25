#pragma once
// The one window timer that wakes the module at every minute boundary, and the playback
// it starts. Runs on the host's window thread.
#include <windows.h>

constexpr UINT_PTR SIGNAL_TIMER_ID = 5000;

// Timer callback handed to SetTimer; ignores every id but SIGNAL_TIMER_ID and does
// nothing while no module object exists.
void CALLBACK SignalTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);

// Starts an asynchronous play of `name` and returns at once.
void PlayOnce(const char* name);
