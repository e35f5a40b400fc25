#pragma once
// A module object on the test thread, owning a real message-only window as its parent
// window, driven through the fake seam. Shared by the scheduler and hour-count tests.
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
#include "unit/fake_platform.h"

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
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
        fake::Reset();
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
    bool Fire(int lateMs = 0) { return fake::FireTimer(Window.Get(), SIGNAL_TIMER_ID, lateMs); }
    bool Armed(fake::TimerCall* timer = nullptr) {
        return fake::IsArmed(Window.Get(), SIGNAL_TIMER_ID, timer);
    }

    static int CountSounds(DWORD flags) {
        int count = 0;
        for (const fake::SoundCall& sound : fake::Sounds()) count += sound.Flags == flags;
        return count;
    }

    MessageWindow Window;
    std::unique_ptr<SignalModule> Module;
};
