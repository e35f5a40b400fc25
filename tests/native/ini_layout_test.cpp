// Where a save puts the module's keys: found as the profile functions find them (the first
// section of the name, regardless of case and blanks), and the place for the missing ones.
// A key's line and the text after the insertion point are shown as text, so a row reads as
// the file does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/ini_layout.h"
#include "tests/native/code_pages.h"

namespace {

const char* const kKeys[] = {"Enable", "Interval", "WaveName"};

struct Row {
    const char* name;
    std::string text;
    unsigned codePage;
    bool sectionFound;
    std::string lines[3];     // each key's line as found, "" when missing
    std::string names[3];     // each key's name as the file spells it
    std::string afterInsert;  // the text from the insertion point on
    bool lineBreakFirst;
};

template <typename Unit>
void Check(const Row& row, const Unit* text, std::size_t length, const IniLayout& layout) {
    SCOPED_TRACE(row.name);
    const auto slice = [&](std::size_t from, std::size_t to) {
        std::string out;
        for (std::size_t i = from; i < to; ++i) out += static_cast<char>(text[i]);
        return out;
    };
    EXPECT_EQ(layout.SectionFound, row.sectionFound);
    for (int k = 0; k < 3; ++k) {
        const IniKeyLine& key = layout.Keys[k];
        EXPECT_EQ(key.Found ? slice(key.Start, key.End) : "", row.lines[k]) << kKeys[k];
        EXPECT_EQ(key.Found ? slice(key.Start, key.NameEnd) : "", row.names[k]) << kKeys[k];
    }
    EXPECT_EQ(slice(layout.InsertAt, length), row.afterInsert);
    EXPECT_EQ(layout.LineBreakFirst, row.lineBreakFirst);
}

}  // namespace

TEST(FindIniKeys, FindsTheKeysAsTheProfileFunctionsReadThem) {
    const std::string own = "[Orlune]\r\nEnable=1\r\nWaveName=a.wav\r\n";
    const Row rows[] = {
        {"1 two of three keys", own, 932, true, {"Enable=1", "", "WaveName=a.wav"},
         {"Enable", "", "WaveName"}, "", false},
        {"2 case and blanks", "  [orLUNE]  \r\n  eNaBle =  1 \t\r\n\tinterval\t=\t60\r\n", 932, true,
         {"eNaBle =  1", "interval\t=\t60", ""}, {"eNaBle", "interval", ""}, "", false},
        {"3 the first section only; missing keys before its trailing blank lines",
         "[Orlune]\r\nA=1\r\n\r\n[Other]\r\nEnable=5\r\n[ORLUNE]\r\nEnable=2\r\n", 932, true,
         {"", "", ""}, {"", "", ""}, "\r\n[Other]\r\nEnable=5\r\n[ORLUNE]\r\nEnable=2\r\n", false},
        {"4 no section, no final line break", "; note\r\n[Other]\r\nEnable=1", 932, false,
         {"", "", ""}, {"", "", ""}, "", true},
        {"5 names with inner blanks or no ']' are no headers of its name",
         "[ Orlune ]\r\nEnable=1\r\n[Orlune\r\nEnable=2\r\n", 932, false, {"", "", ""},
         {"", "", ""}, "", false},
        {"6 a key without '=', a comment, a repeated key", "[Orlune]\n;Enable=0\nEnable\nEnable=3\n",
         932, true, {"Enable", "", ""}, {"Enable", "", ""}, "", false},
        {"7 a header whose last line is the file's", "x=1\r\n[Orlune]", 932, true, {"", "", ""},
         {"", "", ""}, "", true},
        {"8 empty text", "", 932, false, {"", "", ""}, {"", "", ""}, "", false},
        // A trail byte can be the byte of ']': in 932 the real ']' closes the header.
        {"9 ']' as a trail byte, 932", "[Orlune] x" + kSo.substr(0, 1) + "]\r\nEnable=1\r\n", 932,
         true, {"Enable=1", "", ""}, {"Enable", "", ""}, "", false},
        {"10 the same bytes, 1252", "[Orlune] x" + kSo.substr(0, 1) + "]\r\nEnable=1\r\n", 1252,
         false, {"", "", ""}, {"", "", ""}, "", false},
        {"11 zero bytes and ^Z in lines", std::string("[Orlune]\r\nA=1\0hidden\r\nEnable=1\x1A\r\n", 33),
         932, true, {"Enable=1", "", ""}, {"Enable", "", ""}, "", false},
        {"12 a UTF-8 mark is part of the first line", "\xEF\xBB\xBF[Orlune]\r\nEnable=1\r\n", 932,
         false, {"", "", ""}, {"", "", ""}, "", false},
    };
    for (const Row& row : rows) {
        // Exactly the text's bytes, no terminator after them (as a file's are): a read past the
        // end shows under AddressSanitizer.
        const std::vector<char> bytes(row.text.begin(), row.text.end());
        Check(row, bytes.data(), bytes.size(),
              FindIniKeys(bytes.data(), bytes.size(), "Orlune", kKeys, 3, CodePage(row.codePage)));
        if (row.codePage != 932) continue;
        // The same text as UTF-16 units, where every unit stands alone.
        const std::vector<char16_t> wide(row.text.begin(), row.text.end());
        if (row.text.find('\x83') != std::string::npos) continue;
        Check(row, wide.data(), wide.size(), FindIniKeys(wide.data(), wide.size(), "Orlune", kKeys, 3));
    }
}
