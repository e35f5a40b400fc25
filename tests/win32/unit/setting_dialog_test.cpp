// StoreSettings over a stand-in of the dialog's controls, where the settings record can be
// read byte for byte (the module's settings file would hide a half character: the profile
// functions drop it on the way to the file).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "dialog/setting_dialog.h"
#include "support/scoped_tools.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "tests/cases/wave_name_cuts.h"

namespace {

// A window of the test's own, child of `parent` when there is one.
scoped::Window MakeWindow(HWND parent, const wchar_t* windowClass, DWORD style, int id) {
    return scoped::Window(CreateWindowExW(0, windowClass, L"", style | (parent ? WS_CHILD : 0), 0, 0,
                                          200, 200, parent,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                          GetModuleHandleW(nullptr), nullptr));
}

// The controls StoreSettings reads, with their ids; the edit has no length limit here, so
// a name longer than the dialog's edit would take reaches StoreSettings too.
struct StandInDialog {
    scoped::Window Dialog = MakeWindow(nullptr, L"STATIC", WS_OVERLAPPED, 0);
    scoped::Window Use = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_USE_MODULE);
    scoped::Window HourCount = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_HOUR_COUNT);
    scoped::Window Clock24 = MakeWindow(Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_CLOCK_24);
    scoped::Window List = MakeWindow(Dialog.Get(), L"COMBOBOX", CBS_DROPDOWNLIST, IDC_INTERVAL_LIST);
    scoped::Window Edit = MakeWindow(Dialog.Get(), L"EDIT", ES_AUTOHSCROLL, IDC_WAVE_NAME);
};

}  // namespace

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
        {"once per interval, 15", false, 7, 4, 900},
        {"once per interval, None", false, 7, 0, 0xFFFFFFFF},
        {"hour count, 60", true, 3, 2, 3600},
        {"hour count, no selection", true, 3, -1, 12345},
        {"once per interval, no selection", false, 7, -1, 12345},
        // A row the table does not have (the list filled from the other table).
        {"hour count, row past its table", true, 7, 5, 12345},
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
