#include "scheduler/hour_count.h"

#include <mmsystem.h>
#include <cstdio>
#include <cstring>

#include "scheduler/signal_due.h"
#include "win32/platform.h"
#include "win32/scoped_win.h"

namespace {

// The hand-over record, its generation and the lock that keeps a reader from seeing a
// name half old, half new. Written on the window thread, read by the worker.
SRWLOCK JobLock = SRWLOCK_INIT;
HourCountJob Job{};
ULONG_PTR JobGeneration = 0;

}  // namespace

void PlayHourCount(const char* name, bool twentyFourHour, unsigned hour, unsigned minute) {
    const int count = HourCountAt(hour, minute, twentyFourHour);

    ULONG_PTR generation;
    {
        const scoped::ExclusiveLock lock(JobLock);
        Job.Count = count;
        // Bounded and always terminated; MSVC refuses strncpy at /sdl.
        std::snprintf(Job.Name, sizeof Job.Name, "%s", name);
        generation = ++JobGeneration;
    }

    platform::StartWorkerThread(HourCountThread, reinterpret_cast<void*>(generation));
}

HourCountJob CurrentHourCountJob() {
    const scoped::SharedLock lock(JobLock);
    return Job;
}

DWORD WINAPI HourCountThread(void* parameter) {
    const ULONG_PTR myGeneration = reinterpret_cast<ULONG_PTR>(parameter);
    for (int played = 0;; ++played) {
        char name[sizeof Job.Name];
        {
            const scoped::SharedLock lock(JobLock);
            // A newer job replaces this one: stop after the play that is under way.
            if (JobGeneration != myGeneration || played >= Job.Count) break;
            std::memcpy(name, Job.Name, sizeof name);
        }
        platform::PlaySound(name, SND_SYNC);
    }
    platform::EndWorkerThread(0);
}
