#pragma once
// The contract between the Pandrel launcher (the host) and Karvex.dll, in one place.
//
// The host loads the DLL into its own process and finds the ten functions below by name
// (module/Karvex.def also gives them the ordinals 1-10 in this order). All are stdcall, take
// and return 32-bit values, and never throw, show a message or call back into the host.
//
// Order of calls. A host that loads the module:
//   1. QueryVekModule                 - any time; touches nothing.
//   2. SetParentWindow(window)        - before StartModule or Setting.
//   3. InitialLoad(portable)          - before IsModuleEnable, StartModule, Setting,
//                                       ChangePortableMode and before unloading.
//   4. GetTitleName, IsModuleEnable, StartModule, in any order.
//   5. Then at any time: Setting, StopModule/StartModule, SetPortableMode, ChangePortableMode.
//   6. FreeLibrary, at any time (StopModule first spares the hour-count case below).
//
// What the module relies on:
//   - Every call comes on one thread: the thread that owns the parent window and runs its
//     message loop. The module's timer (id 5000 on the parent window) is dispatched by that
//     loop, and so are the two one-shot timers that give Setting's reference back (below): a
//     loop filtered to the parent window is enough. Nothing in the module is locked.
//   - The folder Bexmoor\Pandrel under the user's application-data folder exists whenever the
//     settings live there (the module never creates folders).
//
// What the host can rely on:
//   - The window may be replaced (SetParentWindow again) at any time. A pending timer moves
//     to the new window at once with the time it had left (a clock set meanwhile changes
//     nothing), when the handle is a window that accepts it. A handle that is no window (null,
//     or one destroyed), or a window that refuses the timer (another process's or another
//     thread's, also where a destroyed window's handle value now names it: the module checks
//     the window's thread before every SetTimer), leaves the timer where it is, and
//     StopModule, StartModule, the next firing and the unload still reach it there.
//   - After Setting returns, the timer runs if the dialog ended non-zero and Enable is set, and
//     is stopped otherwise: after Cancel it stays stopped until StartModule. (It is set when
//     Setting's reference goes back, below.)
//   - FreeLibrary may come at any time, also from the host's window procedure while the
//     settings dialog is open: Setting holds a reference of its own while the dialog runs and
//     hands it, as it returns, to two one-shot timers of the calling thread: a thread timer
//     (it outlives the host's windows) and, when the parent window is the calling thread's,
//     one on that window with an id no host uses (an address inside the module). The first
//     the host's loop dispatches kills the other and gives the reference back: at the next
//     timer tick (usually 10-32 ms after Setting returned; later while other messages are
//     queued, for timers come last), never inside Setting's return. Until then the signal
//     timer is held: OK and StartModule only note the boundary, and the callback that gives
//     the reference back sets the timer just before it does (for that boundary; at once if
//     it has passed). When that release unloads the module, the unload kills a timer that
//     never fired, so no chime comes after the host's last FreeLibrary. If the system
//     refuses both timers, Setting keeps its reference and the timer runs at once; the DLL
//     then stays mapped until the process ends (a later FreeLibrary does not unload it;
//     StopModule still stops its timer).
//   - A thread that called Setting and never dispatches again keeps the DLL mapped, and
//     silent (the timer stays held), whatever FreeLibrary the host calls; at the process exit
//     the detach writes only what the file lacks (below). If that thread ends (Setting on a
//     second thread), its timers die with it, and the host's next call into any export but
//     QueryVekModule gives the reference back and lets the timer run; a FreeLibrary with no
//     call between leaves the DLL mapped and silent until the process ends.
//   - A host that loads the DLL again before that dispatch (FreeLibrary, then LoadLibrary)
//     gets the instance still mapped, as the session left it: IsModuleEnable answers the
//     session's Enable, not 0, and the settings stay the session's until InitialLoad reads
//     the file again. The reference Setting held then goes back at the dispatch without
//     unloading anything, and the new load's FreeLibrary unloads the module.
//   - The unload stops the timer and saves the settings to the path worked out at InitialLoad,
//     SetPortableMode or ChangePortableMode, unless they are not the user's: never loaded,
//     or, at the load, the file could not be read or the shell could not name the
//     application-data folder, and the user has not confirmed values with OK since. It calls
//     nothing but what the module imports, and loads nothing. At process exit (FreeLibrary
//     never called) the detach stops nothing and frees nothing; what it saves is said
//     below. No module code runs after the DLL is unmapped.
//   - The settings file is read and written by the system's own profile functions only, so
//     what a save writes is what the next load reads. It is never left empty, cut or mixed.
//     Every save (OK in the dialog, the legacy import, the unload, the exit) lets the system's
//     writer change a copy beside the file, checks the copy with the system's reader, flushes
//     it, and renames it over the file in one step (through a symbolic link, the file it points
//     to); a move to another volume copies the same way before it deletes the source. Whatever
//     stops a save (a full disk, a killed launcher, a second launcher saving at the same time;
//     on NTFS a power cut) leaves the old file or the new one, whole. A failed save leaves the
//     file as it was and its copy gone (one a killed save left is cleared at the next save);
//     the values still hold for the session, and the unload, or the exit, tries again. The
//     file is refused, as a write in place would be, when it is read-only. In a folder that
//     refuses new files the system's writer writes it in place, as earlier releases did. While
//     another program holds it open the save waits up to about 0.6 s (70 ms at exit), or
//     replaces it by a POSIX rename where the system has one, else fails.
//   - At process exit (FreeLibrary never called) the detach writes only what the file would
//     otherwise lack: when there was no file at InitialLoad (its defaults are the user's but
//     not on disk), when SetPortableMode pointed at another path since, or when the last save
//     failed. Otherwise nothing at all: by then other threads may have died holding locks, and
//     since Vista a detach that waits on one ends the process before later libraries detach.
//     A crash (an unhandled exception, TerminateProcess) runs no detach: what was saved before
//     is what is kept.
//   - Setting before any InitialLoad shows the defaults; OK then changes the session only and
//     writes nothing over the file.
//   - No export changes the thread's last error, and neither does the unload: each answers by
//     its result alone.
//   - An hour count still playing keeps the DLL mapped until its last play; a FreeLibrary
//     meanwhile does not reach the module. Until the count ends the timer keeps firing, and
//     a firing may chime and start a newer count (which then replaces the running one); the
//     DLL then unloads on the worker's thread, or at the end of a firing, whichever lets go
//     last. Call StopModule before FreeLibrary to have none of this. The detach's KillTimer
//     from a worker's thread is expected to reach the host's window on Windows too (only
//     SetTimer asks for the window's own thread; KillTimer matches window and id), but it is
//     proven only under Wine: no Windows run has confirmed it.
//   - Loading the DLL loads nothing but what it imports (kernel32, user32, advapi32, winmm,
//     msvcrt), not even for a moment inside LoadLibrary: DllMain seeds the stack canaries'
//     guard from kernel32's counters and creates one object. The shell's folder library comes
//     with the first call that needs the application-data settings path, shlwapi with the
//     legacy import, the chooser's and the help library with the dialog's "..." and help;
//     once loaded, none is freed (win32/system_library.h).
#include <windows.h>

extern "C" {
// Always 1: "I am a module".
int WINAPI QueryVekModule();
// Records the window that owns the timer and the settings dialog, and moves a pending timer
// to it (see above). Result undefined (0).
int WINAPI SetParentWindow(HWND window);
// Enable as loaded or last confirmed in the dialog (0 before InitialLoad; a reload before
// Setting's reference went back answers the session's: see above).
int WINAPI IsModuleEnable();
// Copies the title "時報モジュール　Version" and the version as ANSI text into `buffer`
// (at least 80 bytes; at most 79 bytes and the terminator); returns the bytes copied,
// terminator excluded.
int WINAPI GetTitleName(char* buffer);
// Stops the timer and runs the modal settings dialog. 1 after OK (settings saved; when the
// application-data folder could not be named at the load, its path is worked out again first;
// also 1 when that save failed: the values hold for the session and the unload saves again),
// 0 after Cancel or the close box (nothing saved), -1 if the dialog could not open. Called
// again while its dialog is open (from the host's window procedure), it answers 0 at once and
// changes nothing: no timer stopped, no second dialog.
int WINAPI Setting();
// Arms the timer for the next minute boundary (while Setting's reference is out, it is set
// when that goes back): 1 when Enable is set (whether or not the system accepted the timer),
// else 0 and no timer.
int WINAPI StartModule();
// Stops the timer: the system's result, non-zero if a pending timer (or a held one) was
// removed.
int WINAPI StopModule();
// Records where the settings file lives (non-zero: beside the host's executable) and works
// out its path; moves and reads nothing. Result undefined (0).
int WINAPI SetPortableMode(int mode);
// Moves the settings file to the place `mode` selects (replacing a file there) and records
// the mode: 1 on success; 0 on failure, the file, the target and the mode left as they were.
int WINAPI ChangePortableMode(int mode);
// Records the portable flag and loads the settings (once, from an earlier release's registry
// store instead). Returns the bytes read into WaveName, or after a registry import the
// result of removing the old store (0, or the error of opening the machine's uninstall key;
// 0 also when the imported values could not be saved and the store was kept).
int WINAPI InitialLoad(int portable);
}
