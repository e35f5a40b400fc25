// The resources of the real Karvex.dll read back with the system's own functions: the
// string table, the version block and the manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/module_under_test.h"
#include "module/scoped_win.h"

namespace {

struct StringEntry {
    UINT id;
    const wchar_t* unicode;
    const char* cp932;
};

const StringEntry kStrings[] = {
    {500, L"時報モジュール\u3000Version3.5.0",
     "\x8E\x9E\x95\xF1\x83\x82\x83\x57\x83\x85\x81\x5B\x83\x8B\x81\x40Version3.5.0"},
    {510, L"サウンドファイルの設定",
     "\x83\x54\x83\x45\x83\x93\x83\x68\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x90\xDD\x92\xE8"},
    {515, L"Karvex.chm", "Karvex.chm"},
    {516, L"Bexmoor\\Pandrel", "Bexmoor\\Pandrel"},
    {600, L"Software\\Tivrand\\", "Software\\Tivrand\\"},
    {601, L"Orlune", "Orlune"},
    {650, L"Enable", "Enable"},
    {651, L"SignalType", "SignalType"},
    {652, L"Interval", "Interval"},
    {653, L"TimeType", "TimeType"},
    {654, L"WaveName", "WaveName"},
    {655, L"Bexmoor", "Bexmoor"},
    {656, L"Pandrel", "Pandrel"},
    {657, L"Orlune.ini", "Orlune.ini"},
};

const StringEntry* FindString(UINT id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

}  // namespace

TEST(Resources, StringTableHoldsExactlyTheModulesTexts) {
    ASSERT_EQ(GetACP(), 932u) << "tests expect the Japanese ANSI code page";
    const scoped::Library module(LoadLibraryExA(ModulePath(), nullptr, LOAD_LIBRARY_AS_DATAFILE));  // resources only, no entry point
    ASSERT_NE(module.Get(), nullptr);
    for (UINT id = 500; id <= 657; ++id) {
        SCOPED_TRACE(id);
        const StringEntry* expected = FindString(id);
        wchar_t unicode[400];
        char ansi[400];
        std::memset(ansi, 0x7F, sizeof ansi);
        const int unicodeLength = LoadStringW(module.Get(), id, unicode, 400);
        const int ansiLength = LoadStringA(module.Get(), id, ansi, 400);
        if (!expected) {
            EXPECT_EQ(unicodeLength, 0) << "unexpected string";
            continue;
        }
        EXPECT_EQ(std::wstring(unicode, unicodeLength), expected->unicode);
        EXPECT_EQ(ansiLength, static_cast<int>(std::strlen(expected->cp932)));
        EXPECT_STREQ(ansi, expected->cp932);
        // Filed as language-neutral, so every user interface language finds it.
        EXPECT_NE(FindResourceExA(module.Get(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(id / 16 + 1),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
                  nullptr);
    }
    // The title's gap is one ideographic space, not two ASCII ones.
    wchar_t title[80];
    ASSERT_GT(LoadStringW(module.Get(), 500, title, 80), 0);
    EXPECT_NE(std::wcschr(title, L'\u3000'), nullptr);
}

TEST(Resources, VersionBlockNames3_5_0AsAnApplication) {
    const DWORD size = GetFileVersionInfoSizeA(ModulePath(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(ModulePath(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(5, 3));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(5, 3));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 0x03A4);

    const std::map<std::string, std::string> exact = {
        {"CompanyName", "Bexmoor"},
        {"InternalName", "Karvex"},
        {"FileVersion", "3.5.0"},
        {"ProductVersion", "3.5.0"},
    };
    const char* const described[] = {"CompanyName",    "InternalName",     "FileVersion",
                                     "ProductVersion", "FileDescription",  "ProductName",
                                     "LegalCopyright", "OriginalFilename"};
    for (const char* name : described) {
        SCOPED_TRACE(name);
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\041103A4\\") + name;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                                   &length));
        const std::string text(value);
        EXPECT_FALSE(text.empty());
        for (unsigned char byte : text) EXPECT_LT(byte, 0x80) << "not plain ASCII";
        const auto expected = exact.find(name);
        if (expected != exact.end()) {
            EXPECT_EQ(text, expected->second);
        }
    }
}

namespace {

// The attributes of the first element named `element` at or after `from`.
std::map<std::string, std::string> ElementAttributes(const std::string& xml,
                                                     const std::string& element,
                                                     std::size_t from) {
    std::map<std::string, std::string> attributes;
    const std::size_t start = xml.find("<" + element, from);
    if (start == std::string::npos) return attributes;
    const std::size_t end = xml.find('>', start);
    std::size_t at = start + element.size() + 1;
    while (at < end) {
        const std::size_t equals = xml.find('=', at);
        if (equals == std::string::npos || equals > end) break;
        const std::size_t nameStart = xml.find_first_not_of(" \t\r\n", at);
        std::string name = xml.substr(nameStart, equals - nameStart);
        name.erase(name.find_last_not_of(" \t\r\n") + 1);
        const std::size_t open = xml.find('"', equals);
        const std::size_t close = xml.find('"', open + 1);
        attributes[name] = xml.substr(open + 1, close - open - 1);
        at = close + 1;
    }
    return attributes;
}

}  // namespace

TEST(Resources, ManifestNamesTheModuleAndCommonControls6) {
    const scoped::Library module(LoadLibraryExA(ModulePath(), nullptr, LOAD_LIBRARY_AS_DATAFILE));  // resources only, no entry point
    ASSERT_NE(module.Get(), nullptr);
    HRSRC found = FindResourceA(module.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no RT_MANIFEST resource 1";
    HGLOBAL loaded = LoadResource(module.Get(), found);
    ASSERT_NE(loaded, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    const std::string xml(bytes, SizeofResource(module.Get(), found));

    EXPECT_EQ(xml.find("<?xml"), 0u);
    const std::size_t dependency = xml.find("<dependency>");
    ASSERT_NE(dependency, std::string::npos);
    const auto ownIdentity = ElementAttributes(xml, "assemblyIdentity", 0);
    ASSERT_LT(xml.find("<assemblyIdentity"), dependency) << "the module's own identity comes first";
    EXPECT_EQ(ownIdentity, (std::map<std::string, std::string>{
                                   {"name", "Bexmoor.Karvex.Karvex.dll"},
                                   {"version", "3.5.0.0"},
                                   {"processorArchitecture", "X86"},
                                   {"type", "win32"},
                               }));
    const std::size_t description = xml.find("<description>");
    ASSERT_NE(description, std::string::npos);
    EXPECT_EQ(xml.substr(description, xml.find("</description>") - description),
              "<description>Karvex");

    const std::size_t dependent = xml.find("<dependentAssembly>", dependency);
    ASSERT_NE(dependent, std::string::npos);
    EXPECT_EQ(ElementAttributes(xml, "assemblyIdentity", dependent),
              (std::map<std::string, std::string>{
                  {"type", "win32"},
                  {"name", "Microsoft.Windows.Common-Controls"},
                  {"version", "6.0.0.0"},
                  {"processorArchitecture", "X86"},
                  {"publicKeyToken", "6595b64144ccf1df"},
                  {"language", "*"},
              }));
}
