// StoreSettings over a stand-in of the dialog's controls, where the settings record can be
// read byte for byte (the module's settings file would hide a half character: the profile
// functions drop it on the way to the file).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "dialog/setting_dialog.h"
#include "support/setting_dialog_driver.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "tests/cases/wave_name_cuts.h"

// The stand-in edit has no length limit, so every row reaches StoreSettings whole.
TEST(SettingDialogStore, NameIsCutTo259BytesOnACharacterBoundary) {
    ASSERT_EQ(GetACP(), 932u);
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        StandInDialog controls;
        SetWindowTextA(controls.Edit.Get(), c.Text.c_str());
        SignalModule module(GetModuleHandleW(nullptr));
        std::memset(module.WaveName, 0x7F, sizeof module.WaveName);
        SettingDialog(module.ModuleInstance, &module).StoreSettings(controls.Dialog.Get());
        EXPECT_EQ(std::string(module.WaveName), c.Kept);
        EXPECT_EQ(module.WaveName[c.Kept.size()], '\0');
    }
}

TEST(SettingDialogStore, IntervalComesFromTheSelectedRowOrStaysWithoutASelection) {
    const struct {
        const char* Name;
        bool HourCount;
        int Rows;       // list rows added
        int Selection;  // -1: none
        DWORD Expected;
    } cases[] = {
        {"once per interval, None", false, 7, 0, 0xFFFFFFFF}, {"1", false, 7, 1, 60}, {"5", false, 7, 2, 300},
        {"10", false, 7, 3, 600}, {"15", false, 7, 4, 900}, {"30", false, 7, 5, 1800}, {"60", false, 7, 6, 3600},
        {"hour count, None", true, 3, 0, 0xFFFFFFFF}, {"30", true, 3, 1, 1800}, {"60", true, 3, 2, 3600},
        {"hour count, no selection", true, 3, -1, 12345},
        {"once per interval, no selection", false, 7, -1, 12345},
        // The first row the table does not have (the list filled from the other table).
        {"hour count, row past its table", true, 7, 3, 12345},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        StandInDialog controls;
        if (c.HourCount) SendMessageW(controls.HourCount.Get(), BM_SETCHECK, BST_CHECKED, 0);
        for (int row = 0; row < c.Rows; ++row) {
            SendMessageW(controls.List.Get(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"x"));
        }
        SendMessageW(controls.List.Get(), CB_SETCURSEL, static_cast<WPARAM>(c.Selection), 0);
        SignalModule module(GetModuleHandleW(nullptr));
        module.Interval = 12345;
        SettingDialog(module.ModuleInstance, &module).StoreSettings(controls.Dialog.Get());
        EXPECT_EQ(module.Interval, c.Expected);
        EXPECT_EQ(module.SignalType, c.HourCount ? 1 : 0);
    }
}
