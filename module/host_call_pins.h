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

// Setting's module reference, taken before its dialog opens, or null when the system refused.
// From then until it is given back the signal timer is held (ReleasePending).
HMODULE TakeSettingReference();
// Hands the reference TakeSettingReference took to release timers of the calling thread: a
// thread timer (it outlives the host's windows), and one on `window` when that is the calling
// thread's (a loop filtered to the window dispatches only that one). Whichever the loop
// dispatches first kills the other, re-arms a held signal timer when nothing else is out, and
// gives the reference back. False when the system refused both: the reference is then kept,
// the module stays mapped until the process ends, and the hold it made ends at once.
bool GiveBackAtNextDispatch(HWND window);
// Whether a reference of the module's own is out (a Setting's, pending or orphaned). The host's
// last FreeLibrary cannot reach the module meanwhile, so the signal timer is only noted
// (SignalTimer::ArmLater), never set: the release sets it just before it gives the reference
// back, and when that release unloads the module, the detach kills a timer that never fired.
bool ReleasePending();
// The references whose thread ended before its release timers fired (ReleaseOnThreadEnd),
// given back: called where the host evidently still holds the module (an export) or by a
// release that holds one more.
void GiveBackOrphans();
// DLL_THREAD_DETACH, under the loader's lock: the ending thread's pending references become
// orphans (its timers die with it).
void ReleaseOnThreadEnd();
