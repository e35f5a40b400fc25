#include "support/settings_files.h"

#include "support/scoped_tools.h"

#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <map>
#include <sstream>

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::string AppDataFolder() {
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

std::string VendorFolder() {
    return AppDataFolder() + "\\Bexmoor";
}

std::string ProductFolder() {
    return VendorFolder() + "\\Pandrel";
}

std::string AppDataIniPath() {
    return ProductFolder() + "\\Orlune.ini";
}

std::string ExecutableFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1);
}

std::string PortableIniPath() {
    return ExecutableFolder() + "Orlune.ini";
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    return ReadFileBytesW(Widen(path));
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    return WriteFileBytesW(Widen(path), bytes);
}

void RemoveFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

ExclusiveFile::ExclusiveFile(const std::string& path, DWORD sharing)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

std::wstring Widen(const std::string& ansi) {
    const int size = static_cast<int>(ansi.size());  // zero bytes included
    const int length = size ? MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0) : 0;
    std::wstring wide(length, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &wide[0], length);
    return wide;
}

bool WriteFileBytesW(const std::wstring& path, const std::string& bytes) {
    const scoped::File file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() &&
           WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::optional<std::string> ReadFileBytesW(const std::wstring& path) {
    const scoped::File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

void WalkFolder(std::wstring folder,
                const std::function<void(const std::wstring& path, const WIN32_FIND_DATAW& found)>& visit,
                const wchar_t* pattern) {
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    WIN32_FIND_DATAW found;
    const scoped::Find find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(folder + L"\\" + name, found);
    }
}

void RemoveTreeW(const std::wstring& folder) {
    WalkFolder(folder, [](const std::wstring& path, const WIN32_FIND_DATAW& found) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveTreeW(path);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    });
    RemoveDirectoryW(folder.c_str());
}

std::vector<std::string> TemporariesBeside(const std::string& file) {
    const std::size_t slash = file.rfind('\\');
    std::vector<std::string> names;
    WalkFolder(Widen(file.substr(0, slash)), [&](const std::wstring& path, const WIN32_FIND_DATAW&) {
        names.emplace_back(path.begin(), path.end());  // the tests' paths are ASCII
    }, (Widen(file.substr(slash + 1)) + L".~*").c_str());
    return names;
}

std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    return temp + name;
}

std::string MakeFolderOfLength(const std::string& root, std::size_t length) {
    std::string folder = root;
    CreateDirectoryA(folder.c_str(), nullptr);
    while (folder.size() < length) {
        const std::size_t remaining = length - folder.size();  // "\name" still to add
        std::size_t name = remaining - 1 < 100 ? remaining - 1 : 100;
        if (remaining - 1 - name == 1) --name;  // never leave room for a backslash alone
        folder += "\\" + std::string(name, 'd');
        CreateDirectoryW(Widen(folder).c_str(), nullptr);
    }
    return folder;
}

std::vector<IniLine> ReadIniLines(const std::string& text) {
    std::vector<IniLine> lines;
    std::map<std::string, int> seen{{"", 1}};
    IniLine at{"", 0, "", std::nullopt};
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty()) continue;
        if (line[0] == '[') {
            at.Section = Trim(line.substr(1, line.find(']') - 1));
            at.SectionIndex = seen[Lower(at.Section)]++;
            continue;
        }
        const std::size_t equals = line.find('=');
        at.Key = Trim(line.substr(0, equals));
        at.Value = equals == std::string::npos ? std::nullopt : std::optional(Trim(line.substr(equals + 1)));
        lines.push_back(at);
    }
    return lines;
}

IniText::IniText(const std::string& text) {
    for (const IniLine& line : ReadIniLines(text)) {
        if (line.Value && line.Key.rfind(';', 0) != 0) entries_.push_back(line);
    }
}

IniText IniText::FromFile(const std::string& path) {
    return IniText(ReadFileBytes(path).value_or(""));
}

std::optional<std::string> IniText::Value(const std::string& section, const std::string& key) const {
    for (const IniLine& entry : entries_) {
        if (SameName(entry.Section, section) && SameName(entry.Key, key)) return entry.Value;
    }
    return std::nullopt;
}

std::vector<std::string> IniText::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const IniLine& entry : entries_) {
        if (SameName(entry.Section, section)) keys.push_back(entry.Key);
    }
    return keys;
}

SettingsFilesSandbox::SettingsFilesSandbox() {
    Clean();
}

SettingsFilesSandbox::~SettingsFilesSandbox() {
    Clean();
}

bool SettingsFilesSandbox::CreateAppDataFolders() {
    CreateDirectoryA(VendorFolder().c_str(), nullptr);
    CreateDirectoryA(ProductFolder().c_str(), nullptr);
    return FolderExists(ProductFolder());
}

bool SettingsFilesSandbox::Start(bool appDataFolders) {
    Clean();
    return appDataFolders ? CreateAppDataFolders() : !FolderExists(VendorFolder());
}

void SettingsFilesSandbox::Clean() {
    RemoveFile(AppDataIniPath());
    RemoveFile(PortableIniPath());
    RemoveDirectoryA(ProductFolder().c_str());
    RemoveDirectoryA(VendorFolder().c_str());
}

std::string Utf16File(const std::string& ansi, bool bigEndian, bool mark) {
    std::string bytes = !mark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t unit : Widen(ansi)) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

namespace {

// The names of a list the profile functions give: each ends with a zero byte, the list with two.
std::vector<std::string> Names(const std::vector<char>& list, DWORD length) {
    std::vector<std::string> names;
    for (DWORD at = 0; at < length; at += static_cast<DWORD>(std::strlen(&list[at])) + 1) {
        names.emplace_back(&list[at]);
    }
    return names;
}

}  // namespace

std::vector<std::string> AsTheReaderSees(const std::string& path) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    std::vector<char> list(1 << 20), value(1 << 16);
    std::vector<std::string> seen;
    const DWORD sections = GetPrivateProfileSectionNamesA(list.data(), static_cast<DWORD>(list.size()), path.c_str());
    for (const std::string& section : Names(list, sections)) {
        std::vector<char> keyList(1 << 20);
        const DWORD keys = GetPrivateProfileStringA(section.c_str(), nullptr, "", keyList.data(),
                                                    static_cast<DWORD>(keyList.size()), path.c_str());
        seen.push_back("[" + section + "]");
        for (const std::string& key : Names(keyList, keys)) {
            GetPrivateProfileStringA(section.c_str(), key.c_str(), "(none)", value.data(),
                                     static_cast<DWORD>(value.size()), path.c_str());
            seen.push_back("[" + section + "] " + key + "=" + value.data());
        }
    }
    return seen;
}
