// The compiled help file beside the module, read through the system's own reader of help
// files (the storage the help library itself opens), not through the tools that wrote it.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "support/module_under_test.h"
#include "support/settings_files.h"

// The help library's storage interface (itss.dll); not in the MinGW headers. Declared
// outside the anonymous namespace: with no implementation in sight there, the compiler
// would take every call through it for unreachable.
struct IITStorage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};

namespace {

const CLSID kClsidItStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kIidItStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};

template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { if (p_) p_->Release(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// COM for the test's thread, for as long as the objects taken from it live.
struct ComApartment {
    const bool initialised = SUCCEEDED(CoInitialize(nullptr));
    ~ComApartment() { if (initialised) CoUninitialize(); }
};

class HelpFile {
public:
    HelpFile() {
        std::string path = ModulePath();
        path.replace(path.size() - std::strlen("Karvex.dll"), std::string::npos, "Karvex.chm");
        wchar_t widePath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
        if (SUCCEEDED(CoCreateInstance(kClsidItStorage, nullptr, CLSCTX_INPROC_SERVER, kIidItStorage,
                                       reinterpret_cast<void**>(reader_.Out())))) {
            reader_->StgOpenStorage(widePath, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage_.Out());
        }
    }

    bool Opened() const { return static_cast<bool>(storage_); }

    // The bytes of an internal file, or nothing when the help file lacks it.
    std::optional<std::string> Read(const wchar_t* name) const {
        ComRef<IStream> stream;
        if (FAILED(storage_->OpenStream(name, nullptr, STGM_READ, 0, stream.Out()))) return std::nullopt;
        std::string bytes;
        char chunk[4096];
        ULONG got = 0;
        while (SUCCEEDED(stream->Read(chunk, sizeof(chunk), &got)) && got > 0) bytes.append(chunk, got);
        return bytes;
    }

private:
    ComApartment apartment_;  // first in, last out
    ComRef<IITStorage> reader_;
    ComRef<IStorage> storage_;
};

bool IsCodePage932Text(const std::string& bytes) {
    return bytes.empty() || MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// popup.txt: a line ".topic <number>" starts a topic; its text, the lines up to the next one.
std::map<int, std::string> ParseTopics(const std::string& text) {
    std::map<int, std::string> topics;
    const std::regex line(R"re((?:^|\n)(\.topic (\d+))?([^\r\n]*))re");
    int current = -1;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        if ((*it)[1].matched) current = std::stoi((*it)[2]);
        if (current >= 0) topics[current] += (*it)[1].matched ? "" : (*it)[3].str();
    }
    return topics;
}

}  // namespace

// Pop-up topics for every control with help, the default topic and every linked page.
TEST(HelpFile, HoldsEveryTopicAndPageTheModuleOpens) {
    HelpFile help;
    ASSERT_TRUE(help.Opened()) << "Karvex.chm is missing beside the module or unreadable";
    const std::optional<std::string> popups = help.Read(L"popup.txt");
    ASSERT_TRUE(popups) << "the help file holds no popup.txt";
    EXPECT_TRUE(IsCodePage932Text(*popups));

    const std::map<int, std::string> topics = ParseTopics(*popups);
    std::set<int> ids;
    for (const auto& [id, text] : topics) {
        ids.insert(id);
        EXPECT_FALSE(text.empty()) << "topic " << id << " has no text";
    }
    const std::set<int> expected = {1, 2, 101, 102, 104, 105, 107, 108, 111, 114, 115, 116, 117};
    EXPECT_EQ(expected, ids);

    // #SYSTEM: a version, then records of (code, length, bytes); code 2 names the default
    // topic that the Help button opens.
    const std::optional<std::string> system = help.Read(L"#SYSTEM");
    ASSERT_TRUE(system);
    std::string defaultTopic;
    for (size_t at = 4; at + 4 <= system->size();) {
        WORD code, length;
        std::memcpy(&code, system->data() + at, 2);
        std::memcpy(&length, system->data() + at + 2, 2);
        at += 4;
        if (at + length > system->size()) break;
        if (code == 2) defaultTopic.assign(system->c_str() + at);
        at += length;
    }
    ASSERT_FALSE(defaultTopic.empty());

    // Follow the pages from the default topic and the table of contents.
    std::set<std::string> seen;
    std::set<std::string> pending = {defaultTopic};
    const std::optional<std::string> contents = help.Read(L"Karvex.hhc");
    ASSERT_TRUE(contents);
    const std::regex local(R"re(name="Local" value="([^"]+)")re");
    for (std::sregex_iterator it(contents->begin(), contents->end(), local), end; it != end; ++it) pending.insert((*it)[1]);
    const std::regex reference(R"re((?:href|src)="([^"#:]+))re");
    while (!pending.empty()) {
        const std::string name = *pending.begin();
        pending.erase(pending.begin());
        if (!seen.insert(name).second) continue;
        const std::optional<std::string> page = help.Read(Widen(name).c_str());
        ASSERT_TRUE(page) << name << " is linked but not in the help file";
        EXPECT_TRUE(IsCodePage932Text(*page)) << name;
        for (std::sregex_iterator it(page->begin(), page->end(), reference), end; it != end; ++it) pending.insert((*it)[1]);
    }
    EXPECT_TRUE(seen.count("settings.html"));
}
