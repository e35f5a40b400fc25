// The folder of a path, where a double-byte trail byte can be the byte of a backslash.
// The target is filled with a sentinel so that a write past the terminator shows; each path is
// also cut in place, as the portable settings path cuts the host's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/directory_of_path.h"
#include "tests/native/code_pages.h"

namespace {

struct Folder {
    std::string path;
    unsigned codePage;
    std::string expected;
};

}  // namespace

TEST(GetDirectoryOfPath, KeepsEverythingUpToTheLastRealBackslash) {
    const Folder cases[] = {
        {"C:\\Program Files\\Host\\host.exe", 932, "C:\\Program Files\\Host\\"},
        {"C:\\Program Files\\Host\\host.exe", 1252, "C:\\Program Files\\Host\\"},
        {"C:\\Host\\" + kSo + ".exe", 932, "C:\\Host\\"},
        {"C:\\Host\\" + kSo + ".exe", 1252, "C:\\Host\\" + kSo},
        // A 0x5C trail byte before the last real backslash changes nothing.
        {"C:\\" + kSo + "\\host.exe", 932, "C:\\" + kSo + "\\"},
        {"C:\\" + kSo + "\\host.exe", 1252, "C:\\" + kSo + "\\"},
        // ...nor one at the very end.
        {"C:\\Host\\" + kSo, 932, "C:\\Host\\"},
        {"C:\\Host\\" + kSo, 1252, "C:\\Host\\" + kSo},
        // A lead byte with nothing after it is a byte of its own.
        {"C:\\Host\\\x83", 932, "C:\\Host\\"},
        // 0xB0 stands alone in 932 (its 0x5C is a separator) but leads a character in 936.
        {"C:\\Host\\\xB0\\x.exe", 932, "C:\\Host\\\xB0\\"},
        {"C:\\Host\\\xB0\\x.exe", 936, "C:\\Host\\"},
        {"C:\\" + kSo + "\\host.exe", 949, "C:\\" + kSo + "\\"},
        {"C:\\" + kSo + "\\Host\\" + kSo + "\\host.exe", 932, "C:\\" + kSo + "\\Host\\" + kSo + "\\"},
        {"\\\\server\\share\\host.exe", 932, "\\\\server\\share\\"},
        {"C:\\", 932, "C:\\"},
        {"\\", 932, "\\"},
        // Without a backslash: the first byte alone.
        {"host.exe", 932, "h"},
        {"", 932, ""},
    };
    for (const Folder& c : cases) {
        std::vector<char> target(c.path.size() + 8, '\x7F');
        const std::size_t length = GetDirectoryOfPath(c.path.c_str(), target.data(), CodePage(c.codePage));
        EXPECT_EQ(length, c.expected.size()) << c.path << " code page " << c.codePage;
        EXPECT_EQ(std::string(target.data()), c.expected) << c.path << " code page " << c.codePage;
        EXPECT_EQ(target[length + 1], '\x7F') << "wrote past the terminator: " << c.path;
        std::vector<char> same(c.path.begin(), c.path.end());
        same.push_back('\0');
        EXPECT_EQ(GetDirectoryOfPath(same.data(), same.data(), CodePage(c.codePage)), length);
        EXPECT_EQ(std::string(same.data()), c.expected) << "in place: " << c.path << " code page " << c.codePage;
    }
}
