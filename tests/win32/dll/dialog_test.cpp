// The settings dialog as the host opens it: the real Setting export of the real DLL, the
// dialog driven by messages from inside its own modal loop, the portable settings file and
// the host window's timer checked afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/module_under_test.h"
#include "support/setting_dialog_driver.h"
#include "support/settings_files.h"
#include "tests/cases/wave_name_cuts.h"

namespace {

// ---------------------------------------------------------------------------------------
// The template, read from the DLL's own resource bytes.

struct TemplateItem {
    DWORD Id;
    WORD ClassAtom;  // 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box
    std::wstring Text;
    short X, Y, Width, Height;
    DWORD Style;
};

struct DialogTemplate {
    DWORD Style = 0, ExStyle = 0;
    short X = 0, Y = 0, Width = 0, Height = 0;
    bool HasMenu = false, HasClass = false;
    std::wstring Caption, FontFace;
    WORD PointSize = 0;
    std::vector<TemplateItem> Items;
};

class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
    bool Ok() const { return ok_; }
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return static_cast<short>(Read<WORD>()); }
    // A string, or 0xFFFF and an ordinal (returned in `ordinal`), or 0 for none.
    std::wstring StringOrOrdinal(WORD* ordinal = nullptr, bool* present = nullptr) {
        const WORD first = Word();
        if (present) *present = first != 0;
        if (first == 0xFFFF) {
            const WORD value = Word();
            if (ordinal) *ordinal = value;
            return L"";
        }
        std::wstring text;
        for (WORD c = first; c != 0 && ok_; c = Word()) text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~3u; }
    void Skip(DWORD bytes) { offset_ += bytes; ok_ = ok_ && offset_ <= size_; }

private:
    template <typename T>
    T Read() {
        T value{};
        if (offset_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    const BYTE* data_;
    DWORD size_;
    DWORD offset_ = 0;
    bool ok_ = true;
};

bool ParseDialogTemplateEx(const BYTE* data, DWORD size, DialogTemplate& out) {
    TemplateReader in(data, size);
    if (in.Word() != 1 || in.Word() != 0xFFFF) return false;  // DLGTEMPLATEEX
    in.Dword();                                                // help id
    out.ExStyle = in.Dword();
    out.Style = in.Dword();
    const WORD count = in.Word();
    out.X = in.Short();
    out.Y = in.Short();
    out.Width = in.Short();
    out.Height = in.Short();
    in.StringOrOrdinal(nullptr, &out.HasMenu);
    in.StringOrOrdinal(nullptr, &out.HasClass);
    out.Caption = in.StringOrOrdinal();
    if (out.Style & DS_SETFONT) {
        out.PointSize = in.Word();
        in.Word();  // weight
        in.Skip(2); // italic, character set
        out.FontFace = in.StringOrOrdinal();
    }
    for (WORD i = 0; i < count && in.Ok(); ++i) {
        in.AlignDword();
        TemplateItem item{};
        in.Dword();  // help id
        in.Dword();  // extended style
        item.Style = in.Dword();
        item.X = in.Short();
        item.Y = in.Short();
        item.Width = in.Short();
        item.Height = in.Short();
        item.Id = in.Dword();
        in.StringOrOrdinal(&item.ClassAtom);
        item.Text = in.StringOrOrdinal();
        in.Skip(in.Word());  // creation data
        out.Items.push_back(item);
    }
    return in.Ok();
}

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kComboBox = 0x85;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

const TemplateItem kExpectedItems[] = {
    {100, kButton, L"モジュール(&M)", 8, 6, 184, 30, kChild | BS_GROUPBOX},
    {101, kButton, L"モジュールを使用する", 16, 18, 78, 12, kChild | BS_AUTORADIOBUTTON | WS_GROUP},
    {102, kButton, L"モジュールを使用しない", 102, 18, 82, 12, kChild | BS_AUTORADIOBUTTON},
    {103, kButton, L"時報音の鳴らし方(&S)", 8, 44, 116, 44, kChild | BS_GROUPBOX | WS_DISABLED},
    {104, kButton, L"指定間隔毎に１回ずつ鳴らす", 16, 56, 104, 12,
     kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_DISABLED},
    {105, kButton, L"時刻回数分鳴らす", 16, 70, 106, 12, kChild | BS_AUTORADIOBUTTON | WS_DISABLED},
    {106, kButton, L"時間制(&T)", 130, 44, 62, 44, kChild | BS_GROUPBOX | WS_DISABLED},
    {107, kButton, L"12時間制", 138, 56, 48, 12, kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_DISABLED},
    {108, kButton, L"24時間制", 138, 70, 48, 12, kChild | BS_AUTORADIOBUTTON | WS_DISABLED},
    {109, kButton, L"時報サウンド(&S)", 8, 92, 184, 62, kChild | BS_GROUPBOX | WS_DISABLED},
    {110, kStatic, L"時報間隔(&V):", 16, 105, 48, 10, kChild | SS_LEFT | WS_GROUP | WS_DISABLED},
    {111, kComboBox, L"", 64, 102, 48, 58,
     kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_DISABLED},
    {112, kStatic, L"分", 117, 104, 16, 8, kChild | SS_LEFT | WS_GROUP | WS_DISABLED},
    {113, kStatic, L"WAVファイル名(&F):", 16, 120, 58, 10, kChild | SS_LEFT | WS_GROUP | WS_DISABLED},
    {114, kEdit, L"", 16, 131, 156, 12,
     kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_DISABLED},
    {115, kButton, L"...", 172, 130, 12, 13, kChild | BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED},
    {116, kButton, L"テスト(&T)", 129, 114, 43, 14,
     kChild | BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP | WS_DISABLED},
    {1, kButton, L"了解", 56, 162, 43, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {2, kButton, L"取消", 102, 162, 43, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {117, kButton, L"ヘルプ(&H)", 148, 162, 43, 14, kChild | BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP},
};
constexpr std::size_t kItemCount = sizeof kExpectedItems / sizeof kExpectedItems[0];

// ---------------------------------------------------------------------------------------
// Settings files and the module.

std::string Ansi(const std::wstring& text) {
    char bytes[2048] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

struct StoredSettings {
    std::string Enable, SignalType, Interval, TimeType;
    std::wstring WaveName;
};

std::string IniBytes(const StoredSettings& s) {
    return "[Orlune]\r\nEnable=" + s.Enable + "\r\nSignalType=" + s.SignalType +
           "\r\nInterval=" + s.Interval + "\r\nTimeType=" + s.TimeType +
           "\r\nWaveName=" + Ansi(s.WaveName) + "\r\n";
}

std::string Saved(const char* key) {
    return IniText::FromFile(PortableIniPath()).Value("Orlune", key).value_or("<missing>");
}

// The host's part: a window of this thread, the settings loaded from the portable file,
// the module started (so each test sees Setting stop a running timer). Open() may be called
// again: the module is then unloaded and loaded afresh over a new file.
class DialogFixture : public ::testing::Test {
protected:
    void Open(const StoredSettings& settings) {
        module_.reset();  // its detach saves: write the new file after that
        ASSERT_EQ(GetACP(), 932u);
        ASSERT_TRUE(WriteFileBytes(PortableIniPath(), IniBytes(settings)));
        module_ = std::make_unique<ModuleUnderTest>();
        ASSERT_TRUE(module_->Loaded());
        ASSERT_NE(host_.Handle(), nullptr);
        module_->Api.SetParentWindow(host_.Handle());
        module_->Api.InitialLoad(1);
        started_ = module_->Api.StartModule();
    }
    SettingRun Run(const std::function<void(HWND)>& script) {
        SettingRun run = RunSettingDialogScript(module_->Api.Setting, script);
        EXPECT_TRUE(run.ScriptRan) << "the dialog never showed";
        EXPECT_FALSE(run.LeftOpen) << "the script did not end the dialog";
        return run;
    }
    const ModuleExports& Api() const { return module_->Api; }
    // True when the host window's signal timer was pending (and removes it).
    bool TimerWasPending() { return module_->Api.StopModule() != 0; }

    SettingsFilesSandbox sandbox_;
    HostWindow host_;
    std::unique_ptr<ModuleUnderTest> module_;  // unloaded before the window and the files go
    int started_ = 0;
};

const wchar_t* const kSevenLabels = L"None|1|5|10|15|30|60";
const wchar_t* const kThreeLabels = L"None|30|60";

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(DialogTemplate, ResourceHoldsTheControlsInTabOrderWithTheirStyles) {
    ModuleUnderTest module;
    ASSERT_TRUE(module.Loaded());
    HRSRC resource = FindResourceW(module.Handle, MAKEINTRESOURCEW(IDD_SETTING), MAKEINTRESOURCEW(5));
    ASSERT_NE(resource, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module.Handle, resource)));
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplateEx(bytes, SizeofResource(module.Handle, resource), dialog));

    EXPECT_EQ(dialog.Style, static_cast<DWORD>(DS_MODALFRAME | DS_3DLOOK | DS_SETFONT | WS_POPUP |
                                               WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(dialog.ExStyle, static_cast<DWORD>(WS_EX_DLGMODALFRAME));
    EXPECT_EQ(dialog.X, 32);
    EXPECT_EQ(dialog.Y, 32);
    EXPECT_EQ(dialog.Width, 200);
    EXPECT_EQ(dialog.Height, 183);
    EXPECT_FALSE(dialog.HasMenu);
    EXPECT_FALSE(dialog.HasClass);
    EXPECT_EQ(dialog.Caption, L"時報モジュール");
    EXPECT_EQ(dialog.PointSize, 10);
    EXPECT_EQ(dialog.FontFace, L"ＭＳ Ｐゴシック");

    ASSERT_EQ(dialog.Items.size(), kItemCount);
    for (std::size_t i = 0; i < kItemCount; ++i) {
        const TemplateItem& want = kExpectedItems[i];
        const TemplateItem& got = dialog.Items[i];
        SCOPED_TRACE(testing::Message() << "tab position " << i << ", control " << want.Id);
        EXPECT_EQ(got.Id, want.Id);
        EXPECT_EQ(got.ClassAtom, want.ClassAtom);
        EXPECT_EQ(got.Text, want.Text);
        EXPECT_EQ(got.X, want.X);
        EXPECT_EQ(got.Y, want.Y);
        EXPECT_EQ(got.Width, want.Width);
        EXPECT_EQ(got.Height, want.Height);
        EXPECT_EQ(got.Style, want.Style) << std::hex << got.Style << " vs " << want.Style;
    }
}

// The texts survive the ANSI dialog's trip through code page 932, and the controls come
// up in tab order.
TEST_F(DialogFixture, DialogShowsTheTemplateTextsInTabOrder) {
    Open({"1", "1", "1800", "0", L"C:\\Sounds\\chime.wav"});
    std::vector<int> order;
    std::vector<std::wstring> texts;
    HWND owner = nullptr;
    LONG_PTR exStyle = 0;
    const SettingRun run = Run([&](HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            order.push_back(GetDlgCtrlID(child));
            texts.push_back(ControlText(dialog, GetDlgCtrlID(child)));
        }
        owner = GetWindow(dialog, GW_OWNER);
        exStyle = GetWindowLongPtrW(dialog, GWL_EXSTYLE);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(run.Result, 0);
    EXPECT_EQ(owner, host_.Handle());
    EXPECT_TRUE(exStyle & WS_EX_CONTEXTHELP) << "no question-mark button";
    ASSERT_EQ(order.size(), kItemCount);
    for (std::size_t i = 0; i < kItemCount; ++i) {
        EXPECT_EQ(order[i], static_cast<int>(kExpectedItems[i].Id)) << "tab position " << i;
        if (kExpectedItems[i].Id == IDC_INTERVAL_LIST) continue;  // shows the selection
        if (kExpectedItems[i].Id == IDC_WAVE_NAME) continue;      // shows the file name
        EXPECT_EQ(texts[i], kExpectedItems[i].Text) << "control " << kExpectedItems[i].Id;
    }
}

// What the dialog shows on opening, by stored settings.
struct OpeningCase {
    const char* Name;
    StoredSettings Stored;
    int Checked[3];               // the checked button of each pair
    const wchar_t* Labels;
    int Selection;
    bool ModuleControlsEnabled;   // 103-105, 109-115
    bool ClockEnabled;            // 106-108
    bool TestEnabled;             // 116
};

const OpeningCase kOpeningCases[] = {
    {"module off, name set", {"0", "0", "3600", "0", L"C:\\Sounds\\chime.wav"},
     {102, 104, 107}, kSevenLabels, 6, false, false, true},
    {"module off, no name", {"0", "1", "1800", "1", L""},
     {102, 105, 108}, kThreeLabels, 1, false, false, false},
    {"hour count on 24-hour clock", {"1", "1", "1800", "1", L"C:\\時報\\鐘.wav"},
     {101, 105, 108}, kThreeLabels, 1, true, true, true},
    {"once per interval", {"1", "0", "900", "0", L"x.wav"},
     {101, 104, 107}, kSevenLabels, 4, true, false, true},
    {"None", {"1", "0", "4294967295", "0", L"x.wav"},
     {101, 104, 107}, kSevenLabels, 0, true, false, true},
    {"interval the table lacks", {"1", "1", "900", "0", L"x.wav"},
     {101, 105, 107}, kThreeLabels, CB_ERR, true, true, true},
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
        const SettingRun run = Run([&](HWND dialog) {
            for (int p = 0; p < 3; ++p) {
                for (int id : pairs[p]) {
                    if (IsChecked(dialog, id)) checkedRadio[p] = checkedRadio[p] ? -1 : id;
                }
            }
            labels = ListItems(dialog);
            selection = ListSelection(dialog);
            name = ControlText(dialog, IDC_WAVE_NAME);
            for (int id : {1, 2, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112,
                           113, 114, 115, 116, 117}) {
                enabled[id] = IsEnabled(dialog, id);
            }
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(run.Result, 0);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(checkedRadio[p], c.Checked[p]) << "pair " << p;
        EXPECT_EQ(labels, c.Labels);
        EXPECT_EQ(selection, c.Selection);
        EXPECT_EQ(name, c.Stored.WaveName);
        for (int id : {1, 2, 100, 101, 102, 117}) EXPECT_TRUE(enabled[id]) << id;
        for (int id : {103, 104, 105, 109, 110, 111, 112, 113, 114, 115}) {
            EXPECT_EQ(enabled[id], c.ModuleControlsEnabled) << id;
        }
        for (int id : {106, 107, 108}) EXPECT_EQ(enabled[id], c.ClockEnabled) << id;
        EXPECT_EQ(enabled[116], c.TestEnabled);
    }
}

TEST_F(DialogFixture, SwitchingTheWayOfSoundingRefillsTheListWithNoneSelected) {
    Open({"1", "1", "1800", "0", L"x.wav"});
    struct Step {
        std::wstring Labels;
        int Selection;
        bool ClockEnabled;
    };
    std::vector<Step> steps;
    const SettingRun run = Run([&](HWND dialog) {
        auto record = [&] {
            steps.push_back({ListItems(dialog), ListSelection(dialog), IsEnabled(dialog, 106) &&
                                                                           IsEnabled(dialog, 107) &&
                                                                           IsEnabled(dialog, 108)});
        };
        Click(dialog, IDC_ONCE_PER_INTERVAL);
        record();
        SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, 3, 0);  // "10"
        Click(dialog, IDC_ONCE_PER_INTERVAL);  // already checked: still refilled
        record();
        Click(dialog, IDC_HOUR_COUNT);
        record();
        Click(dialog, IDOK);
    });
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].Labels, kSevenLabels);
    EXPECT_EQ(steps[0].Selection, 0);
    EXPECT_FALSE(steps[0].ClockEnabled);
    EXPECT_EQ(steps[1].Labels, kSevenLabels);
    EXPECT_EQ(steps[1].Selection, 0);
    EXPECT_EQ(steps[2].Labels, kThreeLabels);
    EXPECT_EQ(steps[2].Selection, 0);
    EXPECT_TRUE(steps[2].ClockEnabled);
    EXPECT_EQ(run.Result, 1);
    EXPECT_EQ(Saved("SignalType"), "1");
    EXPECT_EQ(Saved("Interval"), "4294967295");
}

TEST_F(DialogFixture, UsingAndNotUsingTheModuleTogglesItsControls) {
    const struct {
        const char* SignalType;
        bool ClockEnabled;  // only the hour count has a clock
    } cases[] = {{"0", false}, {"1", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.SignalType);
        Open({"1", c.SignalType, "3600", "0", L"x.wav"});
        std::vector<bool> offStates, onStates;
        Run([&](HWND dialog) {
            Click(dialog, IDC_DONT_USE_MODULE);
            for (int id = 103; id <= 116; ++id) offStates.push_back(IsEnabled(dialog, id));
            Click(dialog, IDC_USE_MODULE);
            for (int id = 103; id <= 116; ++id) onStates.push_back(IsEnabled(dialog, id));
            Click(dialog, IDCANCEL);
        });
        ASSERT_EQ(offStates.size(), 14u);
        ASSERT_EQ(onStates.size(), 14u);
        for (int id = 103; id <= 115; ++id) EXPECT_FALSE(offStates[id - 103]) << id;
        EXPECT_TRUE(offStates[116 - 103]) << "the Test button follows the name alone";
        for (int id = 103; id <= 116; ++id) {
            const bool clock = id >= 106 && id <= 108;
            EXPECT_EQ(onStates[id - 103], clock ? c.ClockEnabled : true) << id;
        }
    }
}

// OK: what is saved, and the timer afterwards.
struct OkCase {
    const char* Name;
    StoredSettings Stored;
    std::function<void(HWND)> Edit;
    StoredSettings Expected;
    bool TimerArmed;
};

TEST_F(DialogFixture, OkSavesTheControlsAndRearmsOrStopsTheTimer) {
    const OkCase cases[] = {
        {"not using the module keeps the other values",
         {"1", "1", "3600", "1", L"C:\\時報\\鐘.wav"},
         [](HWND dialog) { Click(dialog, IDC_DONT_USE_MODULE); },
         {"0", "1", "3600", "1", L"C:\\時報\\鐘.wav"}, false},
        {"None is saved as all ones",
         {"1", "0", "600", "0", L"x.wav"},
         [](HWND dialog) { SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, 0, 0); },
         {"1", "0", "4294967295", "0", L"x.wav"}, true},
        {"every control changed",
         {"0", "0", "60", "0", L"old.wav"},
         [](HWND dialog) {
             Click(dialog, IDC_USE_MODULE);
             Click(dialog, IDC_HOUR_COUNT);
             Click(dialog, IDC_CLOCK_24);
             SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, 1, 0);
             TypeText(dialog, IDC_WAVE_NAME, L"D:\\音\\新しい.wav");
         },
         {"1", "1", "1800", "1", L"D:\\音\\新しい.wav"}, true},
        {"an empty name is saved empty",
         {"1", "0", "300", "0", L"x.wav"},
         [](HWND dialog) { TypeText(dialog, IDC_WAVE_NAME, L""); },
         {"1", "0", "300", "0", L""}, true},
        // The stored 900 is not in the hour-count table, so the list has no selection.
        {"no selection keeps a hand-edited interval",
         {"1", "1", "900", "0", L"x.wav"},
         [](HWND dialog) { EXPECT_EQ(ListSelection(dialog), CB_ERR); },
         {"1", "1", "900", "0", L"x.wav"}, true},
        {"no selection keeps it also when the way of sounding changes back",
         {"1", "1", "900", "0", L"x.wav"},
         [](HWND dialog) {
             Click(dialog, IDC_ONCE_PER_INTERVAL);
             SendDlgItemMessageW(dialog, IDC_INTERVAL_LIST, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
         },
         {"1", "0", "900", "0", L"x.wav"}, true},
    };
    for (const OkCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open(c.Stored);
        ASSERT_EQ(started_, c.Stored.Enable == "1" ? 1 : 0);
        const SettingRun run = Run([&](HWND dialog) {
            c.Edit(dialog);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(run.Result, 1);
        EXPECT_EQ(Saved("Enable"), c.Expected.Enable);
        EXPECT_EQ(Saved("SignalType"), c.Expected.SignalType);
        EXPECT_EQ(Saved("Interval"), c.Expected.Interval);
        EXPECT_EQ(Saved("TimeType"), c.Expected.TimeType);
        EXPECT_EQ(Saved("WaveName"), Ansi(c.Expected.WaveName));
        EXPECT_EQ(Api().IsModuleEnable(), c.Expected.Enable == "1" ? 1 : 0);
        EXPECT_EQ(TimerWasPending(), c.TimerArmed);
    }
}

// Cancel and the close box: nothing stored, nothing saved, the timer stays stopped.
TEST_F(DialogFixture, CancelAndCloseBoxChangeNothingAndLeaveTheTimerStopped) {
    const struct {
        const char* Name;
        void (*Close)(HWND);
    } cases[] = {
        {"Cancel button", [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"close box", [](HWND dialog) { CloseBox(dialog); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({"1", "1", "3600", "0", L"C:\\時報\\鐘.wav"});
        ASSERT_EQ(started_, 1);
        const std::string before = ReadFileBytes(PortableIniPath()).value_or("<unreadable>");
        const SettingRun run = Run([&](HWND dialog) {
            Click(dialog, IDC_DONT_USE_MODULE);
            Click(dialog, IDC_ONCE_PER_INTERVAL);
            TypeText(dialog, IDC_WAVE_NAME, L"other.wav");
            c.Close(dialog);
        });
        EXPECT_EQ(run.Result, 0);
        EXPECT_EQ(ReadFileBytes(PortableIniPath()).value_or("<unreadable>"), before);
        EXPECT_EQ(Api().IsModuleEnable(), 1) << "settings changed in memory";
        EXPECT_FALSE(TimerWasPending());
        EXPECT_EQ(Api().StartModule(), 1);
        EXPECT_TRUE(TimerWasPending()) << "StartModule did not re-arm";
    }
}

TEST_F(DialogFixture, TestButtonFollowsTheEditsText) {
    Open({"1", "0", "3600", "0", L"x.wav"});
    std::vector<bool> states;
    Run([&](HWND dialog) {
        states.push_back(IsEnabled(dialog, IDC_TEST_PLAY));
        TypeText(dialog, IDC_WAVE_NAME, L"");
        states.push_back(IsEnabled(dialog, IDC_TEST_PLAY));
        TypeText(dialog, IDC_WAVE_NAME, L"b");
        states.push_back(IsEnabled(dialog, IDC_TEST_PLAY));
        SetDlgItemTextW(dialog, IDC_WAVE_NAME, L"");
        states.push_back(IsEnabled(dialog, IDC_TEST_PLAY));
        Click(dialog, IDC_DONT_USE_MODULE);  // the module's switch does not touch it
        SetDlgItemTextW(dialog, IDC_WAVE_NAME, L"c.wav");
        states.push_back(IsEnabled(dialog, IDC_TEST_PLAY));
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(states, (std::vector<bool>{true, false, true, false, true}));
}

// A typed name longer than WaveName holds is cut to 259 bytes, never inside a double-byte
// character.
// Typed into the real dialog, whose edit takes at most 260 characters.
TEST_F(DialogFixture, LongTypedNameIsCutTo259BytesOnACharacterBoundary) {
    for (const WaveNameCut& c : WaveNameCuts()) {
        SCOPED_TRACE(c.Name);
        const std::wstring typed = Widen(c.Text);
        Open({"1", "0", "3600", "0", L"x.wav"});
        std::wstring shown;
        const SettingRun run = Run([&](HWND dialog) {
            TypeText(dialog, IDC_WAVE_NAME, typed.c_str());
            shown = ControlText(dialog, IDC_WAVE_NAME);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(run.Result, 1);
        EXPECT_EQ(shown, typed.substr(0, 260));
        EXPECT_EQ(Saved("WaveName"), c.Kept);
    }
}
