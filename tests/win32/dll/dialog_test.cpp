// The settings dialog as the host opens it: the real Setting export of the real DLL, the
// dialog driven by messages from inside its own modal loop, the portable settings file and
// the host window's timer checked afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/host_session.h"
#include "support/setting_dialog_driver.h"
#include "support/settings_files.h"
#include "support/setting_values.h"
#include "tests/cases/wave_name_cuts.h"

namespace {

// ---------------------------------------------------------------------------------------
// The controls in tab order, with the texts the user reads.

struct ShownControl {
    int Id;
    const wchar_t* Text;  // null: shows a setting (the list's selection, the file name)
};

const ShownControl kControlsInTabOrder[] = {
    {100, L"モジュール(&M)"}, {101, L"モジュールを使用する"}, {102, L"モジュールを使用しない"},
    {103, L"時報音の鳴らし方(&S)"}, {104, L"指定間隔毎に１回ずつ鳴らす"}, {105, L"時刻回数分鳴らす"},
    {106, L"時間制(&T)"}, {107, L"12時間制"}, {108, L"24時間制"}, {109, L"時報サウンド(&S)"},
    {110, L"時報間隔(&V):"}, {111, nullptr}, {112, L"分"}, {113, L"WAVファイル名(&F):"},
    {114, nullptr}, {115, L"..."}, {116, L"テスト(&T)"}, {1, L"了解"}, {2, L"取消"},
    {117, L"ヘルプ(&H)"},
};

// ---------------------------------------------------------------------------------------
// Settings files and the module.

// The host's part: a window of this thread, the settings loaded from the portable file,
// the module started (so each test sees Setting stop a running timer). Open() may be called
// again: the module is then unloaded and loaded afresh over a new file.
class DialogFixture : public ::testing::Test {
protected:
    void Open(const SettingValues& settings) {
        host_.Module.reset();  // its detach saves: write the new file after that
        ASSERT_EQ(GetACP(), 932u);
        ASSERT_TRUE(WriteFileBytes(PortableIniPath(), Settings(settings)));
        ASSERT_TRUE(host_.Load(HostSession::kReal));
        host_.Open(1);
        started_ = host_.Api().StartModule();
    }
    // True when the host window's signal timer was pending (and removes it).
    bool TimerWasPending() { return host_.Api().StopModule() != 0; }

    SettingsFilesSandbox sandbox_;
    HostSession host_;  // unloads the module before the files go
    int started_ = 0;
};

const wchar_t* const kSevenLabels = L"None|1|5|10|15|30|60";
const wchar_t* const kThreeLabels = L"None|30|60";

}  // namespace

// ---------------------------------------------------------------------------------------

// What a user sees and reaches: the caption, the texts in tab order, every control inside the
// dialog under an id of its own, each radio pair a group of its own, and every input reached
// by Tab or by the access key of the group box or label just before it.
TEST_F(DialogFixture, DialogShowsItsControlsInTabOrderAndReachesEveryInput) {
    Open({1, 1, 1800, 0, "C:\\Sounds\\chime.wav"});
    struct Seen {
        int Id;
        std::wstring Text, Class;
        LONG Style;
        RECT Rect;
    };
    std::vector<Seen> seen;
    RECT client{};
    const SettingRun run = host_.InDialog([&](HWND dialog) {
        GetClientRect(dialog, &client);
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            Seen control{GetDlgCtrlID(child), ControlText(dialog, GetDlgCtrlID(child)), L"",
                         static_cast<LONG>(GetWindowLongW(child, GWL_STYLE)), {}};
            wchar_t className[32] = L"";
            GetClassNameW(child, className, 32);
            control.Class = className;
            GetWindowRect(child, &control.Rect);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.Rect), 2);
            seen.push_back(control);
        }
        wchar_t caption[64] = L"";
        GetWindowTextW(dialog, caption, 64);
        EXPECT_STREQ(caption, L"時報モジュール");
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), host_.Window());
        EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP) << "no question-mark button";
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(run.Result, 0);

    const auto isRadio = [](const Seen& c) {
        return c.Class == L"Button" && (c.Style & 0x0F) == BS_AUTORADIOBUTTON;
    };
    ASSERT_EQ(seen.size(), std::size(kControlsInTabOrder));
    std::vector<int> ids;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Seen& c = seen[i];
        SCOPED_TRACE(testing::Message() << "tab position " << i << ", control " << c.Id);
        EXPECT_EQ(c.Id, kControlsInTabOrder[i].Id);
        if (kControlsInTabOrder[i].Text) {
            EXPECT_EQ(c.Text, kControlsInTabOrder[i].Text);
        }
        EXPECT_TRUE(c.Rect.left >= 0 && c.Rect.top >= 0 && c.Rect.right <= client.right &&
                    c.Rect.bottom <= client.bottom && c.Rect.left < c.Rect.right)
            << "outside the dialog";
        EXPECT_EQ(std::count(ids.begin(), ids.end(), c.Id), 0) << "id used twice";
        ids.push_back(c.Id);

        const LONG kind = c.Style & 0x0F;
        const bool frame = c.Class == L"Static" || (c.Class == L"Button" && kind == BS_GROUPBOX);
        if (isRadio(c)) {
            // A pair starts a group, and the next pair starts the next one: clicking one button
            // unchecks only its partner.
            EXPECT_EQ((c.Style & WS_GROUP) != 0, i == 0 || !isRadio(seen[i - 1]));
        }
        if (!frame && !(c.Style & WS_TABSTOP)) {
            // Reached through the access key of the frame or label before its group.
            std::size_t before = i;
            while (before > 0 && isRadio(seen[before - 1])) --before;
            ASSERT_GT(before, 0u) << "no tab stop and nothing before it";
            EXPECT_NE(seen[before - 1].Text.find(L'&'), std::wstring::npos)
                << "neither Tab nor an access key reaches it";
        }
    }
}

// What the dialog shows on opening, by stored settings, and after one click: the module's own
// switch turns the module's controls off and on (the clock only for the hour count); a way of
// sounding refills the list with None selected; the Test button follows the name alone.
struct OpeningCase {
    const char* Name;
    SettingValues Stored;
    int Click;                    // 0: none
    int Checked[3];               // the checked button of each pair
    const wchar_t* Labels;
    int Selection;
    bool ModuleControlsEnabled;   // 103-105, 109-115
    bool ClockEnabled;            // 106-108
    bool TestEnabled;             // 116
};

const OpeningCase kOpeningCases[] = {
    {"1 module off, name set", {0, 0, 3600, 0, "C:\\Sounds\\chime.wav"}, 0,
     {102, 104, 107}, kSevenLabels, 6, false, false, true},
    {"2 module off, no name", {0, 1, 1800, 1, ""}, 0,
     {102, 105, 108}, kThreeLabels, 1, false, false, false},
    {"3 hour count on 24-hour clock", {1, 1, 1800, 1, kJapaneseWave}, 0,
     {101, 105, 108}, kThreeLabels, 1, true, true, true},
    {"4 once per interval, a name of one letter", {1, 0, 900, 0, "x"}, 0,
     {101, 104, 107}, kSevenLabels, 4, true, false, true},
    {"5 None", {1, 0, 0xFFFFFFFFu, 0, "x.wav"}, 0,
     {101, 104, 107}, kSevenLabels, 0, true, false, true},
    {"6 interval the table lacks", {1, 1, 900, 0, "x.wav"}, 0,
     {101, 105, 107}, kThreeLabels, CB_ERR, true, true, true},
    {"7 once per interval, switched off", {1, 0, 3600, 0, "x.wav"}, IDC_DONT_USE_MODULE,
     {102, 104, 107}, kSevenLabels, 6, false, false, true},
    {"8 hour count, switched off", {1, 1, 3600, 0, "x.wav"}, IDC_DONT_USE_MODULE,
     {102, 105, 107}, kThreeLabels, 2, false, false, true},
    {"9 once per interval, switched on", {0, 0, 3600, 0, "x.wav"}, IDC_USE_MODULE,
     {101, 104, 107}, kSevenLabels, 6, true, false, true},
    {"10 hour count, switched on", {0, 1, 3600, 0, "x.wav"}, IDC_USE_MODULE,
     {101, 105, 107}, kThreeLabels, 2, true, true, true},
    {"11 hour count, switched to once per interval", {1, 1, 1800, 0, "x.wav"},
     IDC_ONCE_PER_INTERVAL, {101, 104, 107}, kSevenLabels, 0, true, false, true},
    {"12 once per interval, switched to hour count", {1, 0, 600, 0, "x.wav"}, IDC_HOUR_COUNT,
     {101, 105, 107}, kThreeLabels, 0, true, true, true},
};

TEST_F(DialogFixture, OpeningShowsTheStoredSettings) {
    for (const OpeningCase& c : kOpeningCases) {
        SCOPED_TRACE(c.Name);
        Open(c.Stored);
        int checkedRadio[3] = {};
        const int pairs[3][2] = {{101, 102}, {104, 105}, {107, 108}};
        std::wstring labels, name;
        int selection = -2;
        bool enabled[118] = {};
        const SettingRun run = host_.InDialog([&](HWND dialog) {
            if (c.Click) Click(dialog, c.Click);
            for (int p = 0; p < 3; ++p) {
                for (int id : pairs[p]) {
                    if (IsChecked(dialog, id)) checkedRadio[p] = checkedRadio[p] ? -1 : id;
                }
            }
            labels = ListItems(dialog);
            selection = ListSelection(dialog);
            name = ControlText(dialog, IDC_WAVE_NAME);
            for (const ShownControl& control : kControlsInTabOrder) {
                enabled[control.Id] = IsEnabled(dialog, control.Id);
            }
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(run.Result, 0);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(checkedRadio[p], c.Checked[p]) << "pair " << p;
        EXPECT_EQ(labels, c.Labels);
        EXPECT_EQ(selection, c.Selection);
        EXPECT_EQ(name, Widen(c.Stored.WaveName));
        for (int id : {1, 2, 100, 101, 102, 117}) EXPECT_TRUE(enabled[id]) << id;
        for (int id : {103, 104, 105, 109, 110, 111, 112, 113, 114, 115}) {
            EXPECT_EQ(enabled[id], c.ModuleControlsEnabled) << id;
        }
        for (int id : {106, 107, 108}) EXPECT_EQ(enabled[id], c.ClockEnabled) << id;
        EXPECT_EQ(enabled[116], c.TestEnabled);
    }
}

// OK: what is saved, and the timer afterwards.
struct OkCase {
    const char* Name;
    SettingValues Stored;
    std::function<void(HWND)> Edit;
    SettingValues Expected;
    bool TimerArmed;
};

TEST_F(DialogFixture, OkSavesTheControlsAndRearmsOrStopsTheTimer) {
    const OkCase cases[] = {
        {"1 not using the module keeps the other values",
         {1, 1, 3600, 1, kJapaneseWave},
         [](HWND dialog) { Click(dialog, IDC_DONT_USE_MODULE); },
         {0, 1, 3600, 1, kJapaneseWave}, false},
        {"2 None is saved as all ones",
         {1, 0, 600, 0, "x.wav"},
         [](HWND dialog) { SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, 0, 0); },
         {1, 0, 0xFFFFFFFFu, 0, "x.wav"}, true},
        {"3 every control changed",
         {0, 0, 60, 0, "old.wav"},
         [](HWND dialog) {
             Click(dialog, IDC_USE_MODULE);
             Click(dialog, IDC_HOUR_COUNT);
             Click(dialog, IDC_CLOCK_24);
             SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, 1, 0);
             TypeText(dialog, IDC_WAVE_NAME, Widen(kJapaneseWave).c_str());
         },
         {1, 1, 1800, 1, kJapaneseWave}, true},
        {"4 an empty name is saved empty",
         {1, 0, 300, 0, "x.wav"},
         [](HWND dialog) { TypeText(dialog, IDC_WAVE_NAME, L""); },
         {1, 0, 300, 0, ""}, true},
        // The stored 900 is not in the hour-count table, so the list has no selection.
        {"5 no selection keeps a hand-edited interval",
         {1, 1, 900, 0, "x.wav"},
         [](HWND dialog) { EXPECT_EQ(ListSelection(dialog), CB_ERR); },
         {1, 1, 900, 0, "x.wav"}, true},
        {"6 no selection keeps it also when the way of sounding changes back",
         {1, 1, 900, 0, "x.wav"},
         [](HWND dialog) {
             Click(dialog, IDC_ONCE_PER_INTERVAL);
             SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
         },
         {1, 0, 900, 0, "x.wav"}, true},
        {"7 the way of sounding clicked again refills the list: None",
         {1, 0, 600, 0, "x.wav"},
         [](HWND dialog) { Click(dialog, IDC_ONCE_PER_INTERVAL); },
         {1, 0, 0xFFFFFFFFu, 0, "x.wav"}, true},
        // The host's window procedure, run by the dialog's loop, restarted the timer meanwhile.
        {"8 not using the module, after a StartModule while the dialog was open",
         {1, 1, 3600, 1, kJapaneseWave},
         [this](HWND dialog) {
             EXPECT_EQ(host_.Api().StartModule(), 1);
             Click(dialog, IDC_DONT_USE_MODULE);
         },
         {0, 1, 3600, 1, kJapaneseWave}, false},
    };
    for (const OkCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open(c.Stored);
        ASSERT_EQ(started_, c.Stored.Enable);
        const SettingRun run = host_.InDialog([&](HWND dialog) {
            c.Edit(dialog);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(run.Result, 1);
        ExpectFileHolds(PortableIniPath(), c.Expected);
        EXPECT_EQ(host_.Api().IsModuleEnable(), c.Expected.Enable);
        EXPECT_EQ(TimerWasPending(), c.TimerArmed);
    }
}

// Cancel and the close box end the dialog at once (the system's own close would only post a
// Cancel); the close box also with the low four bits of its command set, which are the
// system's. Nothing stored, nothing saved, the timer stays stopped. Any other system command
// is the system's to carry out, and leaves the dialog open.
TEST_F(DialogFixture, CancelAndCloseBoxChangeNothingAndLeaveTheTimerStopped) {
    const struct {
        const char* Name;
        void (*Close)(HWND);
    } cases[] = {
        {"Cancel button", [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"close box", [](HWND dialog) { CloseBox(dialog); }},
        {"close box, low bits set", [](HWND dialog) { SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE | 3, 0); }},
        {"minimize and restore, then Cancel", [](HWND dialog) {
             SendMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
             EXPECT_TRUE(IsIconic(dialog)) << "the command never reached the system";
             SendMessageW(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
             EXPECT_TRUE(IsWindowVisible(dialog) && !IsIconic(dialog)) << "ended, or left minimized";
             Click(dialog, IDCANCEL);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({1, 1, 3600, 0, kJapaneseWave});
        ASSERT_EQ(started_, 1);
        const std::string before = ReadFileBytes(PortableIniPath()).value_or("<unreadable>");
        const SettingRun run = host_.InDialog([&](HWND dialog) {
            Click(dialog, IDC_DONT_USE_MODULE);
            Click(dialog, IDC_ONCE_PER_INTERVAL);
            TypeText(dialog, IDC_WAVE_NAME, L"other.wav");
            c.Close(dialog);
            EXPECT_FALSE(IsWindowVisible(dialog)) << "not ended at once";
        });
        EXPECT_EQ(run.Result, 0);
        EXPECT_EQ(ReadFileBytes(PortableIniPath()).value_or("<unreadable>"), before);
        EXPECT_EQ(host_.Api().IsModuleEnable(), 1) << "settings changed in memory";
        EXPECT_FALSE(TimerWasPending());
        EXPECT_EQ(host_.Api().StartModule(), 1);
        EXPECT_TRUE(TimerWasPending()) << "StartModule did not re-arm";
    }
}

// A typed name longer than WaveName holds is cut to 259 bytes, never inside a double-byte
// character.
// Typed into the real dialog, whose edit takes at most 260 characters.
TEST_F(DialogFixture, LongTypedNameIsCutTo259BytesOnACharacterBoundary) {
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        const std::wstring typed = Widen(c.Text);
        Open({1, 0, 3600, 0, "x.wav"});
        std::wstring shown;
        const SettingRun run = host_.InDialog([&](HWND dialog) {
            TypeText(dialog, IDC_WAVE_NAME, typed.c_str());
            shown = ControlText(dialog, IDC_WAVE_NAME);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(run.Result, 1);
        EXPECT_EQ(shown, typed.substr(0, 260));
        EXPECT_EQ(IniText::FromFile(PortableIniPath()).Value(kSection, "WaveName"), c.Kept);
    }
}
