// StoreSettings over a stand-in of the dialog's controls, where the settings record can be
// read byte for byte (the module's settings file would hide a half character: the profile
// functions drop it on the way to the file).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "dialog/setting_dialog.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "tests/cases/wave_name_cuts.h"

namespace {

class Window {
public:
    Window(HWND parent, const wchar_t* windowClass, DWORD style, int id)
        : handle_(CreateWindowExW(0, windowClass, L"", style | (parent ? WS_CHILD : 0), 0, 0, 200,
                                  200, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleW(nullptr), nullptr)) {}
    ~Window() {
        if (handle_) DestroyWindow(handle_);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    HWND Get() const { return handle_; }

private:
    HWND handle_;
};

// The controls StoreSettings reads, with their ids; the edit has no length limit here, so
// a name longer than the dialog's edit would take reaches StoreSettings too.
struct StandInDialog {
    Window Dialog{nullptr, L"STATIC", WS_OVERLAPPED, 0};
    Window Use{Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_USE_MODULE};
    Window HourCount{Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_HOUR_COUNT};
    Window Clock24{Dialog.Get(), L"BUTTON", BS_AUTORADIOBUTTON, IDC_CLOCK_24};
    Window List{Dialog.Get(), L"COMBOBOX", CBS_DROPDOWNLIST, IDC_INTERVAL_LIST};
    Window Edit{Dialog.Get(), L"EDIT", ES_AUTOHSCROLL, IDC_WAVE_NAME};
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
