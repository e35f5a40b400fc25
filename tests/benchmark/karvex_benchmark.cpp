// Measures the real Karvex.dll as a host feels it: the time and the images of a cold load
// (beside other builds of the module, each given with --compare), the time its timer firing
// takes on the host's thread, the time of InitialLoad and StartModule, the private memory
// the loaded and started module adds, and the size of the DLL. The module's clock, timers and
// sound go through its import table to the recorders of support/recorded_system.h: the clock
// reads a few seconds past a fresh minute at every firing (so the due check never waits), the
// timer's callback is taken from the recorded SetTimer and called directly, and the sound is
// recorded only or also sent to the real PlaySoundA. Prints medians; asserts nothing about time.
//
// With --onsets N it instead runs the module on the real clock across N minute boundaries,
// arming it at a different fraction of a second before each, and prints when it armed, the
// delay it set and when it played; tests/benchmark/chime_onsets.py captures the sound and
// runs a second copy with --delay whole-second (the delay of earlier releases) beside it.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/process_resources.h"
#include "scheduler/signal_due.h"
#include "support/import_hook.h"
#include "support/message_window.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/settings_files.h"

namespace {

constexpr UINT_PTR kSignalTimerId = 5000;
constexpr WORD kSecondsPastBoundary = 3;
constexpr WORD kMillisecondsPast = 250;
constexpr UINT kRearmDelayMs =
    60000 - (kSecondsPastBoundary * 1000 + kMillisecondsPast);

// A fresh minute at every call, kSecondsPastBoundary seconds in, so the module's due check
// never waits for the minute to change.
SYSTEMTIME NextMinute() {
    static unsigned minutes = 0;
    SYSTEMTIME time = recorded::ClockAt(static_cast<WORD>(minutes / 60 % 24),
                                        static_cast<WORD>(minutes % 60), kSecondsPastBoundary);
    time.wMilliseconds = kMillisecondsPast;
    ++minutes;
    return time;
}

// The performance counter, in seconds.
double Now() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Stats {
    double Median, Min, Max;
    size_t Count;
};

Stats Summarise(std::vector<double> values) {
    if (values.empty()) return {0, 0, 0, 0};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back(), n};
}

void PrintMicroseconds(const char* what, const std::vector<double>& seconds) {
    const Stats s = Summarise(seconds);
    std::printf("  %-44s median %8.1f us  (min %.1f, max %.1f; %u runs)\n", what,
                s.Median * 1e6, s.Min * 1e6, s.Max * 1e6, static_cast<unsigned>(s.Count));
}

bool Ready(const RecordedModule& loaded) {
    if (!loaded.Loaded()) {
        std::fprintf(stderr, "benchmark: %s did not load\n", ModulePath());
    } else if (loaded.Missing) {
        std::fprintf(stderr, "benchmark: %s is not in the import table\n", loaded.Missing);
    }
    return loaded.Ready();
}

struct Options {
    int ColdLoads = 15;
    int Loads = 50;
    int Firings = 2000;
    int Plays = 200;
    int Saves = 20;
    int Onsets = 0;            // real boundaries to measure; 0: time loads, firings, plays
    bool WholeSecond = false;  // --delay whole-second
    std::string Wave;
    std::vector<std::string> Compare;
};

bool ParseCount(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 1 || parsed > 1000000) return false;
    *value = static_cast<int>(parsed);
    return true;
}

const char kUsage[] =
    "Usage: karvex_benchmark.exe [--cold-loads N] [--compare DLL]... [--loads N] [--firings N]\n"
    "                            [--plays N] [--saves N] --wave WINDOWS_PATH\n"
    "       karvex_benchmark.exe --onsets N [--delay new|whole-second] --wave WINDOWS_PATH\n"
    "  --cold-loads N  cold loads timed, each in a fresh process (default 15)\n"
    "  --compare DLL   another build of the module to cold-load in turns with this one\n"
    "  --loads N    load/start/unload cycles timed (default 50)\n"
    "  --firings N  timer firings timed for each recorder case (default 2000)\n"
    "  --plays N    timer firings timed with the real PlaySoundA (default 200)\n"
    "  --saves N    unloads timed with each file size, each saving the settings (default 20)\n"
    "  --wave PATH  the WAV the module plays (the real plays need a real file)\n"
    "  --onsets N   instead, N real minute boundaries: arm, chime, print the times\n"
    "  --delay      the module's own delay (new), or that of earlier releases\n";

bool Parse(int argc, char** argv, Options* options) {
    const std::pair<const char*, int*> counts[] = {
        {"--cold-loads", &options->ColdLoads}, {"--loads", &options->Loads},
        {"--firings", &options->Firings},      {"--plays", &options->Plays},
        {"--saves", &options->Saves},          {"--onsets", &options->Onsets}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i], value = argv[i + 1];
        const auto count = std::find_if(std::begin(counts), std::end(counts),
                                         [&](const auto& c) { return arg == c.first; });
        if (count != std::end(counts)) {
            if (!ParseCount(value.c_str(), count->second)) return false;
        } else if (arg == "--compare") {
            options->Compare.push_back(value);
        } else if (arg == "--wave") {
            options->Wave = value;
        } else if (arg == "--delay" && (value == "whole-second" || value == "new")) {
            options->WholeSecond = value == "whole-second";
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options->Wave.empty();
}

// One firing of the timer callback on this (the window's) thread, timed; the clock is set
// before the timing starts.
double TimedFiring(HWND window, TIMERPROC callback, const SYSTEMTIME& clock) {
    recorded::Answer([&clock](recorded::Answers& a) { a.Clock = clock; });
    const double start = Now();
    callback(window, WM_TIMER, kSignalTimerId, GetTickCount());
    return Now() - start;
}

// What the module did since the last Reset, counted for the checks. A lean record has the
// calls counted, but neither refusals nor re-arms.
struct Counts {
    int Plays, Refused;  // refused: plays that returned FALSE
    int Sets, Rearms;    // re-arms: SetTimer for the signal timer with the expected delay
    int Sleeps;
};

Counts Count(const recorded::Record& seen) {
    Counts counts{seen.PlayCalls, 0, seen.SetCalls, 0, seen.SleepCalls};
    for (const recorded::SoundCall& sound : seen.Sounds) counts.Refused += !sound.Result;
    for (const recorded::TimerCall& set : seen.Sets()) {
        counts.Rearms += set.Id == kSignalTimerId && set.Delay == kRearmDelayMs;
    }
    return counts;
}

// The module's image as mapped: its size and that of its writable sections, whose pages
// count as private memory on Windows once written, but not in the regions summed here.
void PrintImage(HMODULE module) {
    const IMAGE_NT_HEADERS* nt = ImageHeaders(module);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    DWORD writable = 0;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->Characteristics & IMAGE_SCN_MEM_WRITE) writable += section->Misc.VirtualSize;
    }
    std::printf("  %-44s %.0f KiB mapped, %.1f KiB of it writable\n", "the module's image",
                nt->OptionalHeader.SizeOfImage / 1024.0, writable / 1024.0);
}

struct ColdLoad {
    // [0]: LoadLibraryA alone; [1]: with the InitialLoad(0) that a launcher keeping its
    // settings in the user's profile calls next. Images: mapped since before the load.
    double Ms[2] = {};
    double MappedMiB[2] = {};
    bool DialogLibraries = false;  // comdlg32.dll or hhctrl.ocx loaded
};

// Runs karvex_cold_load.exe (beside this program) on `dll`, after `preload`, and reads its line.
bool RunColdLoad(const std::string& dll, const std::string& preload, ColdLoad* out) {
    // Quoted whole: cmd.exe, which _popen starts, then keeps the quotes inside.
    const std::string command =
        "\"\"" + ExecutableFolder() + "karvex_cold_load.exe\" \"" + dll + "\" " + preload + "\"";
    FILE* child = _popen(command.c_str(), "r");
    if (!child) return false;
    char text[256] = "";
    const bool read = std::fgets(text, sizeof text, child) != nullptr;
    _pclose(child);
    double loadUs = 0, initialLoadUs = 0;
    unsigned long before = 0, after[2] = {};
    int chooser = 0, help = 0;
    if (!read || std::sscanf(text, "%lf %lu %lu %d %d %lf %lu", &loadUs, &before, &after[0], &chooser,
                             &help, &initialLoadUs, &after[1]) != 7) {
        return false;
    }
    out->Ms[0] = loadUs / 1000;
    out->Ms[1] = (loadUs + initialLoadUs) / 1000;
    for (int stage = 0; stage < 2; ++stage) {
        out->MappedMiB[stage] = (static_cast<double>(after[stage]) - before) / (1024 * 1024);
    }
    out->DialogLibraries = chooser || help;
    return true;
}

// Cold loads of this module and of the --compare ones, in turns so that all meet the same
// machine, from three footings: a host with user32 and winmm (and what winmm brings) already
// loaded, one that has the shell as well (a launcher that starts programs), and one with
// user32 only.
bool PrintColdLoads(const Options& options) {
    const struct { const char *Preload, *Label; } footings[] = {
        {"winmm.dll", "host with user32 and winmm loaded"},
        {"winmm.dll shell32.dll", "host with user32, winmm and shell32 loaded"},
        {"", "host with only user32 loaded"},
    };
    std::vector<std::pair<std::string, std::string>> dlls = {{"this module", ModulePath()}};
    for (const auto& dll : options.Compare) dlls.push_back({"--compare " + std::to_string(dlls.size()), dll});
    std::printf("Cold loads (LoadLibrary in a fresh process; images mapped by the load):\n");
    for (const auto& footing : footings) {
        std::vector<std::vector<ColdLoad>> runs(dlls.size());
        for (int i = 0; i < options.ColdLoads; ++i) {
            for (size_t d = 0; d < dlls.size(); ++d) {
                ColdLoad run;
                if (!RunColdLoad(dlls[d].second, footing.Preload, &run)) {
                    std::fprintf(stderr, "benchmark: the cold load of %s failed\n", dlls[d].second.c_str());
                    return false;
                }
                runs[d].push_back(run);
            }
        }
        std::printf("  %s:\n", footing.Label);
        double ownMs[2] = {}, ownMiB[2] = {};  // this module's medians, by stage
        for (size_t d = 0; d < dlls.size(); ++d) {
            for (int stage = 0; stage < 2; ++stage) {
                std::vector<double> ms, mapped;
                bool dialogLibraries = false;
                for (const ColdLoad& run : runs[d]) {
                    ms.push_back(run.Ms[stage]);
                    mapped.push_back(run.MappedMiB[stage]);
                    dialogLibraries |= run.DialogLibraries;
                }
                const Stats time = Summarise(ms);
                const double mib = Summarise(mapped).Median;
                if (d == 0) ownMs[stage] = time.Median, ownMiB[stage] = mib;
                std::printf("    %-12s %-20s median %6.2f ms (min %.2f, max %.2f; %u runs), %.1f MiB"
                            " mapped%s\n", stage ? "" : dlls[d].first.c_str(),
                            stage ? "with InitialLoad(0)" : "LoadLibraryA", time.Median, time.Min,
                            time.Max, static_cast<unsigned>(time.Count), mib,
                            stage ? "" : dialogLibraries ? "; comdlg32/hhctrl.ocx loaded" : "");
                if (d > 0) std::printf("%38s this module %.2f times as fast, %.1f MiB less mapped\n", "",
                                       time.Median / ownMs[stage], mib - ownMiB[stage]);
            }
        }
    }
    return true;
}

bool Due(const SYSTEMTIME& time) {
    return time.wMinute % 5 == 0;  // the settings below chime every five minutes
}

// ---- When the chime starts, on the real clock ---------------------------------------------
// The clock, the timer and PlaySoundA are the system's; the recorders only note what the
// module read, set and played, and with --delay whole-second give the timer the delay of
// earlier releases, (60 - second) whole seconds from the module's own reading, in place of its own.

UINT WholeSecondDelay(UINT, const SYSTEMTIME& reading) {
    return (60u - reading.wSecond % 60u) * 1000u;
}

// Armed 5 s into the minute before each boundary, at a fraction of a second chosen by the
// boundary's minute: ten boundaries in a row walk through the whole second, and two copies
// started together arm alike.
constexpr unsigned kArmMs = 5000;
constexpr unsigned kArmFractionMs[10] = {50, 550, 150, 650, 250, 750, 350, 850, 450, 950};
// Every chime has started by then, whichever delay armed it.
constexpr unsigned kAfterBoundaryMs = 1500;

unsigned MsIntoMinute(const SYSTEMTIME& time) {
    return time.wSecond * 1000u + time.wMilliseconds;
}

// Runs the message loop until the clock shows `minute` at `msIntoMinute` or later.
bool PumpUntilClock(WORD minute, unsigned msIntoMinute) {
    return PumpMessagesUntil([&] {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        return now.wMinute == minute && MsIntoMinute(now) >= msIntoMinute;
    }, 2 * 60 * 1000);
}

// Portable settings beside this program: on, one chime every `interval` seconds.
bool WriteSettings(const char* interval, const std::string& wave) {
    if (WriteFileBytes(PortableIniPath(), std::string("[Orlune]\r\nEnable=1\r\nSignalType=0\r\nInterval=") +
                                              interval + "\r\nTimeType=0\r\nWaveName=" + wave + "\r\n")) {
        return true;
    }
    std::fprintf(stderr, "benchmark: cannot write %s\n", PortableIniPath().c_str());
    return false;
}

// The unload's save, timed as the host's FreeLibrary: the settings file as the module writes it,
// and one of about 1 MB whose other sections (a launcher's, a user's) the save must keep.
// Each unload follows a fresh load and InitialLoad(1) of the same file.
bool PrintSaves(const Options& options, const std::string& wave) {
    std::string large;
    for (int section = 0; large.size() < (1u << 20); ++section) {
        large += "[Other" + std::to_string(section) + "]\r\n";
        for (int key = 0; key < 4; ++key) {
            large += "Key" + std::to_string(key) + "=a value that another program keeps here\r\n";
        }
    }
    // The numbers spelled as the module does not write them: the unload's save rewrites four
    // keys, as a save of new values does (a profile writer skips a value that is already there).
    const std::string own = "[Orlune]\r\nEnable=01\r\nSignalType=00\r\nInterval=0300\r\nTimeType=00\r\n"
                            "WaveName=" + wave + "\r\n";
    const std::pair<const char*, std::string> files[] = {
        {"five keys", own}, {"about 1 MB, many other sections", own + large}};
    std::printf("Unload with its save (FreeLibrary after InitialLoad(1)):\n");
    std::unique_ptr<PinnedImports> pinned;
    for (const auto& [what, bytes] : files) {
        std::vector<double> unloads;
        for (int run = 0; run < options.Saves; ++run) {
            if (!WriteFileBytes(PortableIniPath(), bytes)) return false;
            ModuleUnderTest loaded;
            if (!loaded.Loaded()) return false;
            if (!pinned) pinned = std::make_unique<PinnedImports>(loaded.Handle);
            loaded.Api.InitialLoad(1);
            const double start = Now();
            loaded.Unload();
            unloads.push_back(Now() - start);
            const auto saved = ReadFileBytes(PortableIniPath());
            // Four digits fewer, and the same end: nothing cut.
            if (!saved || saved->size() + 4 != bytes.size() ||
                saved->compare(saved->size() - 16, 16, bytes, bytes.size() - 16, 16) != 0) {
                std::fprintf(stderr, "benchmark: the save left %s cut\n", PortableIniPath().c_str());
                return false;
            }
        }
        const std::string label = std::string(what) + ", " + std::to_string(bytes.size()) + " bytes";
        PrintMicroseconds(label.c_str(), unloads);
    }
    return true;
}

int RunOnsets(const Options& options) {
    if (!WriteSettings("60", options.Wave)) return 1;  // every boundary chimes
    MessageWindow window;
    recorded::Answers answers;
    answers.RealClock = answers.RealSleeps = answers.RealPlays = true;
    if (options.WholeSecond) answers.DelayFor = &WholeSecondDelay;
    recorded::Reset(answers);
    RecordedModule loaded;
    if (!Ready(loaded)) return 1;
    loaded.Api.SetParentWindow(window.Get());
    loaded.Api.InitialLoad(1);
    std::printf("onsets: %d boundaries, delay %s\n", options.Onsets,
                options.WholeSecond ? "whole-second" : "new");
    std::fflush(stdout);
    int faults = 0;
    for (int i = 0; i < options.Onsets; ++i) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        WORD armMinute = now.wMinute;
        if (MsIntoMinute(now) >= kArmMs + kArmFractionMs[(armMinute + 1) % 10]) {
            armMinute = static_cast<WORD>((armMinute + 1) % 60);
        }
        const WORD boundaryMinute = static_cast<WORD>((armMinute + 1) % 60);
        if (!PumpUntilClock(armMinute, kArmMs + kArmFractionMs[boundaryMinute % 10])) return 1;
        // A fresh start, as a host started at this moment would make.
        loaded.Api.StopModule();
        faults += loaded.Api.StartModule() != 1;
        const recorded::Record started = recorded::Snapshot();
        const SYSTEMTIME armed = started.LastReading;
        const UINT delay = started.Sets().empty() ? 0 : started.Sets().back().Forwarded;
        if (!PumpUntilClock(boundaryMinute, kAfterBoundaryMs)) return 1;
        const recorded::Record after = recorded::Snapshot();
        const bool played = after.Sounds.size() == started.Sounds.size() + 1;
        const SYSTEMTIME at = after.Sounds.empty() ? SYSTEMTIME{} : after.Sounds.back().Clock;
        // How long the firing held the host's thread waiting for its boundary.
        unsigned waited = 0;
        const std::vector<DWORD>& slept = after.HostSleeps;
        for (std::size_t s = started.HostSleeps.size(); s < slept.size(); ++s) waited += slept[s];
        faults += !played;
        std::printf("boundary :%02u armed %02u:%02u:%02u.%03u delay %u ms "
                    "played %02u:%02u:%02u.%03u waited %u ms%s\n",
                    boundaryMinute, armed.wHour, armed.wMinute, armed.wSecond,
                    armed.wMilliseconds, delay, at.wHour, at.wMinute, at.wSecond,
                    at.wMilliseconds, waited, played ? "" : " NOT PLAYED");
        std::fflush(stdout);
    }
    loaded.Api.StopModule();
    return faults == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.Onsets > 0) return RunOnsets(options);
    // Once every five minutes, so that four minutes in five are not due.
    if (!WriteSettings("300", options.Wave)) return 1;
    MessageWindow window;
    recorded::Answers answers;
    answers.Clock = NextMinute();
    answers.RealSleeps = true;  // none is expected; one would count in the firing's time
    answers.Lean = true;        // calls counted, not listed: listing them would add to the times
    int faults = 0;

    WIN32_FILE_ATTRIBUTE_DATA file{};
    GetFileAttributesExA(ModulePath(), GetFileExInfoStandard, &file);
    std::printf("Karvex.dll (%s): %lu bytes (%.1f KiB)\n", ModulePath(), file.nFileSizeLow,
                file.nFileSizeLow / 1024.0);
    if (!PrintColdLoads(options)) return 1;
    if (!PrintSaves(options, options.Wave) || !WriteSettings("300", options.Wave)) return 1;

    // Load, start, unload, again and again: the first load pays for the module's system
    // DLLs too, as it does in a launcher that has not loaded them yet.
    std::vector<double> initialLoad, startModule, added;
    std::unique_ptr<PinnedImports> pinned;
    for (int cycle = 0; cycle < options.Loads; ++cycle) {
        recorded::Reset(answers);
        const SIZE_T before = process_resources::PrivateBytes();
        RecordedModule loaded;
        if (!Ready(loaded)) return 1;
        if (!pinned) pinned = std::make_unique<PinnedImports>(loaded.Handle);
        loaded.Api.SetParentWindow(window.Get());
        double start = Now();
        loaded.Api.InitialLoad(1);
        initialLoad.push_back(Now() - start);
        start = Now();
        faults += loaded.Api.StartModule() != 1;
        startModule.push_back(Now() - start);
        added.push_back(static_cast<double>(process_resources::PrivateBytes()) -
                        static_cast<double>(before));
        loaded.Api.StopModule();
    }
    std::printf("Load cycles (LoadLibrary, SetParentWindow, InitialLoad, StartModule, FreeLibrary):\n");
    PrintMicroseconds("InitialLoad(1)", initialLoad);
    PrintMicroseconds("StartModule()", startModule);
    std::printf("  private bytes added from before LoadLibrary to after StartModule:\n");
    std::printf("  %-44s %.0f KiB\n", "first load, with the system DLLs it imports", added.front() / 1024);
    const Stats memory = Summarise(std::vector<double>(added.begin() + 1, added.end()));
    std::printf("  %-44s median %.0f KiB (min %.0f, max %.0f; %u runs)\n",
                "later loads, those DLLs already loaded", memory.Median / 1024, memory.Min / 1024,
                memory.Max / 1024, static_cast<unsigned>(memory.Count));
    std::printf("    (%s)\n", process_resources::PrivateUsage()
                                  ? "GetProcessMemoryInfo's PrivateUsage"
                                  : "PrivateUsage reads 0 here: the committed private regions, summed");

    answers.Lean = false;  // the timer's callback comes from the listed SetTimer
    recorded::Reset(answers);
    RecordedModule loaded;
    if (!Ready(loaded)) return 1;
    PrintImage(loaded.Handle);
    loaded.Api.SetParentWindow(window.Get());
    loaded.Api.InitialLoad(1);
    faults += loaded.Api.StartModule() != 1;
    const recorded::Record started = recorded::Snapshot();
    const TIMERPROC callback = started.Sets().empty() ? nullptr : started.Sets().back().Callback;
    if (!callback) {
        std::fprintf(stderr, "benchmark: the module set no timer callback\n");
        return 1;
    }

    // Recorder: the module's own work without the sound system's.
    answers.Lean = true;
    recorded::Reset(answers);
    for (int warm = 0; warm < 10; ++warm) TimedFiring(window.Get(), callback, NextMinute());
    recorded::Reset(answers);
    std::vector<double> idle, due;
    const size_t firings = static_cast<size_t>(options.Firings);
    while (idle.size() < firings || due.size() < firings) {
        const SYSTEMTIME clock = NextMinute();
        std::vector<double>& into = Due(clock) ? due : idle;
        if (into.size() < firings) into.push_back(TimedFiring(window.Get(), callback, clock));
    }
    const Counts recorder = Count(recorded::Snapshot());
    const bool recorderOk = recorder.Plays == options.Firings && recorder.Sleeps == 0 &&
                            recorder.Sets == 2 * options.Firings;
    std::printf("Timer firing, host-thread time (callback called on the window's thread, clock "
                "%u.%03u s past a fresh minute):\n", kSecondsPastBoundary, kMillisecondsPast);
    PrintMicroseconds("not-due minute", idle);
    PrintMicroseconds("due minute, sound to a recorder", due);
    std::printf("    checks: %d plays recorded, %d SetTimer, %d Sleep: %s\n", recorder.Plays,
                recorder.Sets, recorder.Sleeps, recorderOk ? "ok" : "WRONG");

    // The real asynchronous play. A minute apart, the last chime is long over: stop it
    // first, untimed, since a new play waits for the old sound to stop. The calls are listed,
    // so that every re-arm's delay is checked: beside a real play the listing is lost.
    answers.Lean = false;
    answers.RealPlays = true;
    recorded::Reset(answers);
    for (int warm = 0; warm < 3; ++warm) {
        PlaySoundA(nullptr, nullptr, 0);
        SYSTEMTIME clock;
        do clock = NextMinute(); while (!Due(clock));
        TimedFiring(window.Get(), callback, clock);
    }
    recorded::Reset(answers);
    std::vector<double> played;
    while (played.size() < static_cast<size_t>(options.Plays)) {
        PlaySoundA(nullptr, nullptr, 0);
        const SYSTEMTIME clock = NextMinute();
        if (Due(clock)) played.push_back(TimedFiring(window.Get(), callback, clock));
    }
    PlaySoundA(nullptr, nullptr, 0);
    const Counts real = Count(recorded::Snapshot());
    const bool realOk = real.Plays == options.Plays && real.Refused == 0 && real.Sleeps == 0 &&
                        real.Sets == options.Plays && real.Rearms == options.Plays;
    PrintMicroseconds("due minute, real asynchronous PlaySoundA", played);
    std::printf("    checks: %d plays, %d refused, %d re-arms for %u ms of %d SetTimer, %d Sleep: %s\n",
                real.Plays, real.Refused, real.Rearms, kRearmDelayMs, real.Sets, real.Sleeps,
                realOk ? "ok" : "WRONG");
    loaded.Api.StopModule();
    return faults == 0 && recorderOk && realOk ? 0 : 1;
}
