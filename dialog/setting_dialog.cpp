#include "dialog/setting_dialog.h"

#include <cstring>

#include "dialog/dialog_services.h"
#include "dialog/interval_tables.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"

namespace {

constexpr WPARAM kEditLimitChars = 260;
// The edit holds up to 260 characters, double-byte ones included: read it whole, then cut
// on a character boundary to what WaveName holds.
constexpr int kEditReadBytes = 1024;

// Which dialog the procedure serves: set at WM_INITDIALOG. The window is kept with it so a
// message for any other window (one not yet initialised) is never served with this state.
struct DialogBinding {
    HWND Window = nullptr;
    SettingDialog* Dialog = nullptr;
};
DialogBinding TheDialogBinding;

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void EnableControls(HWND dialog, int first, int last, bool enable) {
    for (int id = first; id <= last; ++id) EnableWindow(GetDlgItem(dialog, id), enable);
}

// The Test button is usable exactly when the edit names something.
void UpdateTestButton(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_TEST_PLAY),
                 GetWindowTextLengthA(GetDlgItem(dialog, IDC_WAVE_NAME)) > 0);
}

void FillList(HWND dialog, const IntervalEntry* table, LONG seconds) {
    FillIntervalList(GetDlgItem(dialog, IDC_INTERVAL_LIST), table, seconds);
}

}  // namespace

void SettingDialog::InitDialog(HWND dialog) {
    SetWindowLongPtrA(dialog, GWL_EXSTYLE,
                      GetWindowLongPtrA(dialog, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);

    CheckRadioButton(dialog, IDC_USE_MODULE, IDC_DONT_USE_MODULE,
                     Module->Enable != 0 ? IDC_USE_MODULE : IDC_DONT_USE_MODULE);
    CheckRadioButton(dialog, IDC_ONCE_PER_INTERVAL, IDC_HOUR_COUNT,
                     Module->SignalType != 0 ? IDC_HOUR_COUNT : IDC_ONCE_PER_INTERVAL);
    CheckRadioButton(dialog, IDC_CLOCK_12, IDC_CLOCK_24,
                     Module->TimeType != 0 ? IDC_CLOCK_24 : IDC_CLOCK_12);

    FillList(dialog, Module->SignalType != 0 ? HourCountTable : IntervalTable,
             static_cast<LONG>(Module->Interval));

    char name[kPathBytes];
    std::memcpy(name, Module->WaveName, sizeof name);
    name[kPathBytes - 1] = '\0';
    SendDlgItemMessageA(dialog, IDC_WAVE_NAME, EM_LIMITTEXT, kEditLimitChars, 0);
    // The edit's change notification updates the Test button; do it here as well so the
    // button is right even where setting the text raises no notification.
    SetDlgItemTextA(dialog, IDC_WAVE_NAME, name);
    UpdateTestButton(dialog);

    if (Module->Enable != 0) EnableModuleControls(dialog);
}

void SettingDialog::EnableModuleControls(HWND dialog) {
    EnableControls(dialog, IDC_SOUND_GROUP, IDC_HOUR_COUNT, true);
    if (IsChecked(dialog, IDC_HOUR_COUNT)) EnableControls(dialog, IDC_CLOCK_GROUP, IDC_CLOCK_24, true);
    EnableControls(dialog, IDC_WAVE_GROUP, IDC_BROWSE, true);
}

void SettingDialog::StoreSettings(HWND dialog) {
    Module->Enable = IsChecked(dialog, IDC_USE_MODULE) ? 1 : 0;
    Module->SignalType = IsChecked(dialog, IDC_HOUR_COUNT) ? 1 : 0;
    Module->TimeType = IsChecked(dialog, IDC_CLOCK_24) ? 1 : 0;

    // Without a selection (a stored interval that the table does not offer) the stored
    // value stays: an OK that never touched the list must not lose it.
    const LRESULT index = SendDlgItemMessageA(dialog, IDC_INTERVAL_LIST, CB_GETCURSEL, 0, 0);
    const IntervalEntry* entry =
        IntervalEntryAt(Module->SignalType != 0 ? HourCountTable : IntervalTable, index);
    if (entry) Module->Interval = static_cast<DWORD>(entry->Seconds);

    char name[kEditReadBytes] = {};
    GetDlgItemTextA(dialog, IDC_WAVE_NAME, name, kEditReadBytes);
    const std::size_t length = CutAtByteLimit(name, kWaveNameMaxBytes, AnsiCodePageRule());
    std::memcpy(Module->WaveName, name, length + 1);
    Module->HasLoaded = true;  // the user's own choice now, to be saved at OK and at unload
}

bool SettingDialog::OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        StoreSettings(dialog);
        EndDialog(dialog, 1);
        return true;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return true;
    case IDC_USE_MODULE:
        EnableModuleControls(dialog);
        return true;
    case IDC_DONT_USE_MODULE:
        EnableControls(dialog, IDC_SOUND_GROUP, IDC_BROWSE, false);
        return true;
    case IDC_ONCE_PER_INTERVAL:
        if (IsChecked(dialog, IDC_ONCE_PER_INTERVAL)) {
            EnableControls(dialog, IDC_CLOCK_GROUP, IDC_CLOCK_24, false);
        }
        FillList(dialog, IntervalTable, kNoneSeconds);
        return true;
    case IDC_HOUR_COUNT:
        if (IsChecked(dialog, IDC_HOUR_COUNT)) {
            EnableControls(dialog, IDC_CLOCK_GROUP, IDC_CLOCK_24, true);
        }
        FillList(dialog, HourCountTable, kNoneSeconds);
        return true;
    case IDC_WAVE_NAME:
        UpdateTestButton(dialog);
        return true;
    case IDC_BROWSE:
        ChooseWaveFile(dialog, ModuleInstance);
        return true;
    case IDC_TEST_PLAY:
        TestPlay(dialog);
        return true;
    case IDC_HELP_BUTTON:
        OpenHelpFile(dialog, ModuleInstance);
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK SettingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<SettingDialog*>(lParam);
        if (!state) return TRUE;
        TheDialogBinding = {dialog, state};
        state->InitDialog(dialog);
        return TRUE;
    }
    if (TheDialogBinding.Window != dialog || !TheDialogBinding.Dialog) return 0;
    SettingDialog& state = *TheDialogBinding.Dialog;
    switch (message) {
    case WM_COMMAND:
        return state.OnCommand(dialog, LOWORD(wParam)) ? 1 : 0;
    case WM_SYSCOMMAND:
        if (wParam != SC_CLOSE) return 0;
        EndDialog(dialog, 0);
        return 1;
    case WM_HELP:
        return OnHelp(dialog, state.ModuleInstance, reinterpret_cast<const HELPINFO*>(lParam));
    default:
        return 0;
    }
}

int RunSettingDialog(SignalModule& module) {
    module.StopSignalTimer();
    SettingDialog state(module.ModuleInstance, &module);
    // A dialog opened while another is up binds itself; the outer one gets its binding back.
    const DialogBinding outer = TheDialogBinding;
    const INT_PTR result =
        DialogBoxParamA(module.ModuleInstance, MAKEINTRESOURCEA(IDD_SETTING), module.ParentWindow,
                        SettingDialogProc, reinterpret_cast<LPARAM>(&state));
    TheDialogBinding = outer;
    if (result != 0) {
        // Only OK makes the values the user's (StoreSettings). A WM_QUIT that ended the loop,
        // or a dialog that never opened, also returns non-zero: the save is then guarded like
        // the unload's, so it never writes defaults over a file that could not be read.
        if (module.HasLoaded) module.SaveToIni();
        if (module.Enable != 0) {
            module.ArmSignalTimer();
        } else {
            module.StopSignalTimer();
        }
    }
    return static_cast<int>(result);
}
