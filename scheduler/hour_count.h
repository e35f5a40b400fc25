#pragma once
// The hour-count plays: the window thread hands a count and a file name to a short-lived
// worker thread that plays the file that many times, so the window thread never waits for
// a sound. The hand-over record is guarded by a lock; a newer job replaces an older one,
// whose worker stops after its current play.
#include <windows.h>

#include "win32/path_size.h"

struct HourCountJob {
    int Count;
    char Name[kPathBytes];
};

// Computes the count at `hour`:`minute` (the due check's own clock reading, so that the
// count never comes from another minute) for the clock that `twentyFourHour` selects,
// stores it with `name` and starts the worker. Reports nothing; a failed start plays nothing.
void PlayHourCount(const char* name, bool twentyFourHour, unsigned hour, unsigned minute);

// A copy of the hand-over record as it stands (for tests and diagnostics).
HourCountJob CurrentHourCountJob();

// The worker. `parameter` is the job's generation: the worker stops as soon as a newer job
// has been handed over.
DWORD WINAPI HourCountThread(void* parameter);
