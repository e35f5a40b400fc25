// The help and chooser texts built into fixed buffers, and which controls have pop-up help.
#include "dialog/help_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Builder = bool (*)(const char*, const char*, char*, std::size_t);

struct BuildCase {
    const char* name;
    Builder build;
    const char* first;
    const char* second;
    const char* expected;
};

// The plain texts are checked where the module uses them (dll.DialogServicesInDialog.*).
TEST(HelpPaths, BuildsTheTexts) {
    const BuildCase cases[] = {
        // A folder whose Shift-JIS name ends in a 0x5C trail byte ("ソ") is taken as is.
        {"double-byte folder", FormatPopupSource, "C:\\\x83\x5C\\", "Karvex.chm",
         "C:\\\x83\x5C\\Karvex.chm::/popup.txt"},
        {"chooser folder, empty name", FormatChooserFolder, "C:\\AppData", "",
         "C:\\AppData\\"},
    };
    for (const BuildCase& c : cases) {
        char out[260];
        std::memset(out, '#', sizeof(out));
        EXPECT_TRUE(c.build(c.first, c.second, out, sizeof(out))) << c.name;
        EXPECT_STREQ(c.expected, out) << c.name;
    }
}

// Each builder at the buffer's edge: a text of 259 bytes fits, one of 260 leaves the
// buffer empty and never writes past it (the buffer is exactly 260 heap bytes, so
// AddressSanitizer reports any overrun).
TEST(HelpPaths, TextThatDoesNotFitLeavesNothing) {
    struct EdgeCase {
        const char* name;
        Builder build;
        const char* second;
        std::size_t added;  // bytes the builder adds besides the folder
    };
    const EdgeCase cases[] = {
        {"popup source", FormatPopupSource, "Karvex.chm", 10 + 12},
        {"help file", FormatHelpFilePath, "Karvex.chm", 10},
        {"chooser folder", FormatChooserFolder, "Bexmoor\\Pandrel", 1 + 15},
    };
    for (const EdgeCase& c : cases) {
        for (std::size_t total : {std::size_t{259}, std::size_t{260}, std::size_t{400}}) {
            const std::string folder = "C:\\" + std::string(total - c.added - 4, 'a') + "\\";
            std::vector<char> out(260, '#');
            const bool fits = c.build(folder.c_str(), c.second, out.data(), out.size());
            EXPECT_EQ(total < 260, fits) << c.name << ", " << total << " bytes";
            if (fits) {
                EXPECT_EQ(total, std::strlen(out.data())) << c.name;
            } else {
                EXPECT_EQ('\0', out[0]) << c.name << ", " << total << " bytes";
            }
        }
    }
}

TEST(HelpPaths, NoRoomAtAll) {
    char out[1] = {'#'};
    EXPECT_FALSE(FormatHelpFilePath("C:\\", "Karvex.chm", out, 0));
    EXPECT_EQ('#', out[0]);
    EXPECT_FALSE(FormatHelpFilePath("C:\\", "Karvex.chm", out, 1));
    EXPECT_EQ('\0', out[0]);
}

TEST(HelpPaths, ControlsWithPopupHelp) {
    const std::vector<int> withHelp = {1, 2, 101, 102, 104, 105, 107, 108, 111, 114, 115, 116, 117};
    std::vector<int> found;
    for (int id = -1; id <= 3100; ++id) {
        if (HasPopupHelp(id)) found.push_back(id);
    }
    // Group boxes 100, 103, 106, 109 and the static texts 110, 112, 113 have none.
    EXPECT_EQ(withHelp, found);
}

}  // namespace
