// StoreSettings over a stand-in of the dialog's controls, where the settings record can be
// read byte for byte (the module's settings file would hide a half character: the profile
// functions drop it on the way to the file).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "dialog/setting_dialog.h"
#include "support/setting_dialog_driver.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "tests/cases/interval_rows.h"
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

// Every row of both tables (tests/cases/interval_rows.h) stores its seconds; without a
// selection, or past the table, the interval stays as it was.
TEST(SettingDialogStore, IntervalComesFromTheSelectedRowOrStaysWithoutASelection) {
    struct Case {
        std::string Name;
        bool HourCount;
        int Rows;       // list rows added
        int Selection;  // -1: none
        DWORD Expected;
    };
    std::vector<Case> cases;
    const int onceRows = static_cast<int>(std::size(kOncePerIntervalRows));
    const int countRows = static_cast<int>(std::size(kHourCountRows));
    for (int row = 0; row < onceRows; ++row) {
        cases.push_back({std::string("once per interval, ") + kOncePerIntervalRows[row].Label, false, onceRows, row,
                         kOncePerIntervalRows[row].Seconds});
    }
    for (int row = 0; row < countRows; ++row) {
        cases.push_back({std::string("hour count, ") + kHourCountRows[row].Label, true, countRows, row,
                         kHourCountRows[row].Seconds});
    }
    cases.insert(cases.end(), {
        {"hour count, no selection", true, countRows, -1, 12345},
        {"once per interval, no selection", false, onceRows, -1, 12345},
        // The first row the table does not have (the list filled from the other table).
        {"hour count, row past its table", true, onceRows, countRows, 12345},
    });
    for (const Case& c : cases) {
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
