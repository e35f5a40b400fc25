#pragma once
// A module object on the test thread, owning a real message-only window as its parent
// window, its calls to the system going to the recorders (support/recorded_system.h).
// Shared by the scheduler and hour-count tests.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <memory>

#include "module/signal_module.h"
#include "scheduler/signal_due.h"
#include "module/host_call_pins.h"
#include "scheduler/signal_timer.h"
#include "support/message_window.h"
#include "support/recorded_system.h"

using recorded::ClockAt;
using recorded::Snapshot;

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_NE(Window.Get(), nullptr);
        NewModule(60);
    }

    // A module object as constructed, on the test's window, configured to sound every
    // `interval` seconds.
    void NewModule(DWORD interval) {
        Module = std::make_unique<SignalModule>(GetModuleHandleA(nullptr));
        Module->ParentWindow = Window.Get();
        Configure(interval, 0, "chime.wav");
        TheSignalModule = Module.get();
    }

    void TearDown() override {
        TheSignalModule = nullptr;
        Module.reset();
        Reset();
    }

    static void Reset(const recorded::Answers& answers = {}) {
        EXPECT_TRUE(recorded::Reset(answers)) << "a worker never ended, or a held play was never released";
    }

    static void SetClock(const SYSTEMTIME& time) {
        recorded::Answer([&](recorded::Answers& a) { a.Clock = time; });
    }

    void Configure(DWORD interval, int signalType, const char* waveName, int timeType = 0) {
        Module->Enable = 1;
        Module->Interval = interval;
        Module->SignalType = signalType;
        Module->TimeType = timeType;
        std::strcpy(Module->WaveName, waveName);
    }

    // One firing of the armed signal timer, as the host's message loop would dispatch it,
    // `lateMs` after its delay (before it when negative).
    bool Fire(int lateMs = 0) { return recorded::FireTimer(Window.Get(), SIGNAL_TIMER_ID, lateMs); }
    bool Armed(recorded::TimerCall* timer = nullptr) {
        return recorded::IsArmed(Window.Get(), SIGNAL_TIMER_ID, timer);
    }

    static int CountSounds(DWORD flags) {
        int count = 0;
        for (const recorded::SoundCall& sound : Snapshot().Sounds) count += sound.Flags == flags;
        return count;
    }

    MessageWindow Window;
    std::unique_ptr<SignalModule> Module;
};
