#include "dialog/setting_dialog.h"

#include <cstring>

#include "dialog/dialog_services.h"
#include "dialog/interval_tables.h"
#include "resources/resource_ids.h"
#include "settings/signal_settings.h"

namespace {

// The WaveName edit takes as many characters as a path has bytes; ReadWaveName cuts them to
// what WaveName holds.
constexpr WPARAM kEditLimitChars = kPathBytes;

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
                     Settings->Enable != 0 ? IDC_USE_MODULE : IDC_DONT_USE_MODULE);
    CheckRadioButton(dialog, IDC_ONCE_PER_INTERVAL, IDC_HOUR_COUNT,
                     Settings->SignalType != 0 ? IDC_HOUR_COUNT : IDC_ONCE_PER_INTERVAL);
    CheckRadioButton(dialog, IDC_CLOCK_12, IDC_CLOCK_24,
                     Settings->TimeType != 0 ? IDC_CLOCK_24 : IDC_CLOCK_12);

    FillList(dialog, Settings->SignalType != 0 ? HourCountTable : IntervalTable,
             static_cast<LONG>(Settings->Interval));

    char name[kPathBytes];
    std::memcpy(name, Settings->WaveName, sizeof name);
    name[kPathMaxLength] = '\0';
    SendDlgItemMessageA(dialog, IDC_WAVE_NAME, EM_LIMITTEXT, kEditLimitChars, 0);
    // The edit's change notification updates the Test button; do it here as well so the
    // button is right even where setting the text raises no notification.
    SetDlgItemTextA(dialog, IDC_WAVE_NAME, name);
    UpdateTestButton(dialog);

    if (Settings->Enable != 0) EnableModuleControls(dialog);
}

void SettingDialog::EnableModuleControls(HWND dialog) {
    EnableControls(dialog, IDC_SOUND_GROUP, IDC_HOUR_COUNT, true);
    if (IsChecked(dialog, IDC_HOUR_COUNT)) EnableControls(dialog, IDC_CLOCK_GROUP, IDC_CLOCK_24, true);
    EnableControls(dialog, IDC_WAVE_GROUP, IDC_BROWSE, true);
}

void SettingDialog::StoreSettings(HWND dialog) {
    Settings->Enable = IsChecked(dialog, IDC_USE_MODULE) ? 1 : 0;
    Settings->SignalType = IsChecked(dialog, IDC_HOUR_COUNT) ? 1 : 0;
    Settings->TimeType = IsChecked(dialog, IDC_CLOCK_24) ? 1 : 0;

    // Without a selection (a stored interval that the table does not offer) the stored
    // value stays: an OK that never touched the list must not lose it.
    const LRESULT index = SendDlgItemMessageA(dialog, IDC_INTERVAL_LIST, CB_GETCURSEL, 0, 0);
    const IntervalEntry* entry =
        IntervalEntryAt(Settings->SignalType != 0 ? HourCountTable : IntervalTable, index);
    if (entry) Settings->Interval = static_cast<DWORD>(entry->Seconds);

    ReadWaveName(dialog, Settings->WaveName);
    Settings->ConfirmUsersValues();
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
        // The low four bits are the system's own.
        if ((wParam & 0xFFF0) != SC_CLOSE) return 0;
        EndDialog(dialog, 0);
        return 1;
    case WM_HELP:
        return OnHelp(dialog, state.ModuleInstance, reinterpret_cast<const HELPINFO*>(lParam));
    default:
        return 0;
    }
}

int RunSettingDialog(HINSTANCE moduleInstance, HWND owner, SignalSettings& settings) {
    SettingDialog state(moduleInstance, &settings);
    // A dialog opened while another is up binds itself; the outer one gets its binding back.
    const DialogBinding outer = TheDialogBinding;
    const INT_PTR result = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_SETTING), owner,
                                           SettingDialogProc, reinterpret_cast<LPARAM>(&state));
    TheDialogBinding = outer;
    return static_cast<int>(result);
}
