// The resources of the real Karvex.dll read back with the system's own functions, as a user
// or a host meets them: the Japanese texts, the version block and the manifest. The other
// strings (file, folder, key and registry names) are proven where they are used, by the
// settings and registry tests; resources.llvm_rc proves that rc.exe compiles the same bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/module_under_test.h"
#include "resources/version.h"
#include "win32/scoped_win.h"

TEST(Resources, JapaneseTextsInCodePage932ForEveryLanguage) {
    ASSERT_EQ(GetACP(), 932u) << "tests expect the Japanese ANSI code page";
    const scoped::Library module(LoadLibraryExA(ModulePath(), nullptr, LOAD_LIBRARY_AS_DATAFILE));  // resources only, no entry point
    ASSERT_NE(module.Get(), nullptr);
    const struct {
        UINT id;
        const char* cp932;
    } rows[] = {
        // "時報モジュール　Version" and the version: the gap is one ideographic space (81 40).
        {500, "\x8E\x9E\x95\xF1\x83\x82\x83\x57\x83\x85\x81\x5B\x83\x8B\x81\x40Version" KARVEX_VERSION_TEXT},
        // "サウンドファイルの設定"
        {510, "\x83\x54\x83\x45\x83\x93\x83\x68\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x90\xDD\x92\xE8"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        char text[400];
        EXPECT_EQ(LoadStringA(module.Get(), row.id, text, sizeof text), static_cast<int>(std::strlen(row.cp932)));
        EXPECT_STREQ(text, row.cp932);
        // Filed as language-neutral, so every user interface language finds it.
        EXPECT_NE(FindResourceExA(module.Get(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(row.id / 16 + 1),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
                  nullptr);
    }
}

// What the file's properties show, and the file type hosts have always read as "application".
TEST(Resources, VersionBlockNamesTheVersionAsAnApplication) {
    const DWORD size = GetFileVersionInfoSizeA(ModulePath(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(ModulePath(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const DWORD high = MAKELONG(KARVEX_VERSION_MINOR, KARVEX_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, KARVEX_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 0x03A4);

    const char* const texts[][2] = {
        {"CompanyName", "Bexmoor"},
        {"FileDescription", "Karvex time signal module for Pandrel"},
        {"FileVersion", KARVEX_VERSION_TEXT},
        {"InternalName", "Karvex"},
        {"LegalCopyright", "Copyright (C) Bexmoor"},
        {"OriginalFilename", "Karvex.dll"},
        {"ProductName", "Karvex"},
        {"ProductVersion", KARVEX_VERSION_TEXT},
    };
    for (const auto& text : texts) {
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\041103A4\\") + text[0];
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                                   &length)) << text[0];
        EXPECT_STREQ(value, text[1]);
    }
}

TEST(Resources, ManifestNamesTheModuleAndCommonControls6) {
    const scoped::Library module(LoadLibraryExA(ModulePath(), nullptr, LOAD_LIBRARY_AS_DATAFILE));  // resources only, no entry point
    ASSERT_NE(module.Get(), nullptr);
    HRSRC found = FindResourceA(module.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no RT_MANIFEST resource 1";
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(module.Get(), found))),
                          SizeofResource(module.Get(), found));

    EXPECT_EQ(xml.find("<?xml"), 0u);
    EXPECT_NE(xml.find("<description>Karvex</description>"), std::string::npos);
    // The module's own identity comes first; the second is the one it depends on.
    const std::size_t dependency = xml.find("<dependency>");
    ASSERT_NE(dependency, std::string::npos);
    const auto identity = [&](std::size_t from) {
        const std::size_t start = xml.find("<assemblyIdentity", from);
        return start == std::string::npos ? std::string() : xml.substr(start, xml.find('>', start) - start);
    };
    ASSERT_LT(xml.find("<assemblyIdentity"), dependency);
    const std::string own = identity(0);
    for (const char* attribute : {R"(name="Bexmoor.Karvex.Karvex.dll")", R"(version=")" KARVEX_VERSION_TEXT R"(.0")",
                                  R"(processorArchitecture="X86")", R"(type="win32")"}) {
        EXPECT_NE(own.find(attribute), std::string::npos) << attribute;
    }
    const std::string common = identity(dependency);
    for (const char* attribute : {R"(name="Microsoft.Windows.Common-Controls")", R"(version="6.0.0.0")",
                                  R"(processorArchitecture="X86")", R"(type="win32")",
                                  R"(publicKeyToken="6595b64144ccf1df")", R"(language="*")"}) {
        EXPECT_NE(common.find(attribute), std::string::npos) << attribute;
    }
}
