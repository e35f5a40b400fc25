// The folder of a path, where a code page 932 trail byte can be the byte of a backslash.
// The target is filled with a sentinel so that a write past the terminator shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/directory_of_path.h"

namespace {

const std::string kSo = "\x83\x5C";  // ソ

struct Folder {
    std::string path;
    bool codePage932;
    std::string expected;
};

}  // namespace

TEST(GetDirectoryOfPath, KeepsEverythingUpToTheLastRealBackslash) {
    const Folder cases[] = {
        {"C:\\Program Files\\Host\\host.exe", true, "C:\\Program Files\\Host\\"},
        {"C:\\Program Files\\Host\\host.exe", false, "C:\\Program Files\\Host\\"},
        {"C:\\Host\\" + kSo + ".exe", true, "C:\\Host\\"},
        {"C:\\Host\\" + kSo + ".exe", false, "C:\\Host\\" + kSo},
        // A 0x5C trail byte before the last real backslash changes nothing.
        {"C:\\" + kSo + "\\host.exe", true, "C:\\" + kSo + "\\"},
        {"C:\\" + kSo + "\\host.exe", false, "C:\\" + kSo + "\\"},
        // ...nor one at the very end.
        {"C:\\Host\\" + kSo, true, "C:\\Host\\"},
        {"C:\\Host\\" + kSo, false, "C:\\Host\\" + kSo},
        // A lead byte with nothing after it is a byte of its own.
        {"C:\\Host\\\x83", true, "C:\\Host\\"},
        {"\\\\server\\share\\host.exe", true, "\\\\server\\share\\"},
        {"C:\\", true, "C:\\"},
        {"\\", true, "\\"},
        // Without a backslash: the first byte alone.
        {"host.exe", true, "h"},
        {"", true, ""},
    };
    for (const Folder& c : cases) {
        std::vector<char> target(c.path.size() + 8, '\x7F');
        const std::size_t length = GetDirectoryOfPath(c.path.c_str(), target.data(), c.codePage932);
        EXPECT_EQ(length, c.expected.size()) << c.path << " 932=" << c.codePage932;
        EXPECT_EQ(std::string(target.data()), c.expected) << c.path << " 932=" << c.codePage932;
        EXPECT_EQ(target[length + 1], '\x7F') << "wrote past the terminator: " << c.path;
    }
}

TEST(GetDirectoryOfPath, ReturnsTheDocumentedLengths) {
    char target[64];
    EXPECT_EQ(GetDirectoryOfPath("C:\\Program Files\\Host\\host.exe", target, true), 22u);
    const std::string so = "C:\\Host\\" + kSo + ".exe";
    EXPECT_EQ(GetDirectoryOfPath(so.c_str(), target, true), 8u);
    EXPECT_EQ(GetDirectoryOfPath(so.c_str(), target, false), 10u);
}

// The portable settings path cuts the host's path in place.
TEST(GetDirectoryOfPath, SourceAndTargetMayBeOneBuffer) {
    for (bool codePage932 : {true, false}) {
        std::string path = "C:\\" + kSo + "\\Host\\" + kSo + "\\host.exe";
        std::vector<char> buffer(path.begin(), path.end());
        buffer.push_back('\0');
        const std::size_t length = GetDirectoryOfPath(buffer.data(), buffer.data(), codePage932);
        const std::string expected = "C:\\" + kSo + "\\Host\\" + kSo + "\\";
        EXPECT_EQ(length, expected.size());
        EXPECT_EQ(std::string(buffer.data()), expected);
    }
}
