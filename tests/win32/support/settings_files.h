#pragma once
// The two settings files where the module places them for the running test executable
// (the executable stands in for the host), and small tools to lay them out, read them
// back and clear them away. Contents are checked by parsing the file's own bytes, never
// through the profile functions, whose cache could answer for a file that has changed.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32/scoped_win.h"

// {AppData} as the system names it, without a trailing backslash.
std::string AppDataFolder();
// {AppData}\Bexmoor and {AppData}\Bexmoor\Pandrel.
std::string VendorFolder();
std::string ProductFolder();
// {AppData}\Bexmoor\Pandrel\Orlune.ini
std::string AppDataIniPath();
// The running executable's folder, with its trailing backslash.
std::string ExecutableFolder();
// {ExecutableFolder}Orlune.ini
std::string PortableIniPath();

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Removes the file, read-only or not; a missing file is fine.
void RemoveFile(const std::string& path);

// Holds a file open for reading, as another program might; by default without sharing, so
// that every other open of it, for reading, writing, replacing or deleting, fails with a
// sharing violation. (A read-only attribute is no substitute: Wine running as root ignores it.)
class ExclusiveFile {
public:
    explicit ExclusiveFile(const std::string& path, DWORD sharing = 0);
    bool Held() const { return handle_.Valid(); }
    void Release() { handle_.Reset(); }

private:
    scoped::File handle_;
};

// `text` without the blanks (spaces, tabs, line ends) at either end.
std::string Trim(const std::string& text);
// `text` with its ASCII capitals made small.
std::string Lower(std::string text);

// Wide-character twins for paths longer than the ANSI functions accept.
std::wstring Widen(const std::string& ansi);
bool WriteFileBytesW(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFileBytesW(const std::wstring& path);
// `ansi` (code page 932) as UTF-16 of either byte order, with or without its mark first.
std::string Utf16File(const std::string& ansi, bool bigEndian, bool mark = true);
// Every section, key and value of the INI file at `path` (an ASCII path) as the system's own
// reader gives them, in its order, one "[section] key=value" each; its cache let go first.
std::vector<std::string> AsTheReaderSees(const std::string& path);
// Every entry of `folder` whose name matches `pattern` ("." and ".." never), with its full
// path; not the entries of its subfolders.
void WalkFolder(std::wstring folder,
                const std::function<void(const std::wstring& path, const WIN32_FIND_DATAW& found)>& visit,
                const wchar_t* pattern = L"*");
// Removes `folder` and everything below it.
void RemoveTreeW(const std::wstring& folder);
// The temporary files a save left beside `file` (its name, ".~", anything), by their paths.
std::vector<std::string> TemporariesBeside(const std::string& file);
// {Temp}`name`: the system's temporary folder (with its backslash) and `name`.
std::string TempPath(const std::string& name);
// `root` followed by folders of 'd' until the path is exactly `length` bytes (ASCII), no
// trailing backslash; every folder made.
std::string MakeFolderOfLength(const std::string& root, std::size_t length);

// One line of an INI text that is neither blank nor a section header, blanks trimmed. A
// UTF-8 mark is read as Windows reads it, as part of the first line.
struct IniLine {
    std::string Section;   // as its header names it; "" before the first header
    int SectionIndex;      // which section of that name (in any case) holds it, from 0; the
                           // lines before the first header are the first of no name
    std::string Key;       // what stands before '=', or the whole line without one
    std::optional<std::string> Value;  // what follows '='; none without one
};
std::vector<IniLine> ReadIniLines(const std::string& text);

// An INI text parsed the way the profile functions read it: section and key names match
// regardless of case; blanks around names and values are dropped.
class IniText {
public:
    explicit IniText(const std::string& text);
    // The parsed file; empty (no sections) when it is missing.
    static IniText FromFile(const std::string& path);

    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    // The section's keys in file order.
    std::vector<std::string> Keys(const std::string& section) const;

private:
    std::vector<IniLine> entries_;  // each with a value, no comment
};

// Keeps every test's settings files its own: on entry and on exit both settings files are
// removed, and {AppData}\Bexmoor\Pandrel with {AppData}\Bexmoor when they are empty. The
// module never creates those folders; CreateAppDataFolders() does what the host would.
class SettingsFilesSandbox {
public:
    SettingsFilesSandbox();
    ~SettingsFilesSandbox();
    SettingsFilesSandbox(const SettingsFilesSandbox&) = delete;
    SettingsFilesSandbox& operator=(const SettingsFilesSandbox&) = delete;

    bool CreateAppDataFolders();
    // A fresh start: no settings file, and the application-data folders made or removed.
    bool Start(bool appDataFolders);

private:
    static void Clean();
};
