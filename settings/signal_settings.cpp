#include "settings/signal_settings.h"

#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/legacy_registry.h"
#include "settings/settings_paths.h"

namespace {

constexpr int kNameBytes = 364;      // section and key names: loads limited to 361 bytes
constexpr int kNameLoadLimit = 361;
// WaveName is read with room to spare and then cut to 259 bytes on a character boundary,
// so a long value never ends in half a double-byte character.
constexpr DWORD kWaveReadBytes = 1024;
constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                             MOVEFILE_WRITE_THROUGH;  // 11

struct IniNames {
    char Section[kNameBytes];
    char Enable[kNameBytes];
    char SignalType[kNameBytes];
    char Interval[kNameBytes];
    char TimeType[kNameBytes];
    char WaveName[kNameBytes];

    explicit IniNames(HINSTANCE resources) {
        LoadResourceText(resources, IDS_SECTION, Section, kNameLoadLimit);
        LoadResourceText(resources, IDS_KEY_ENABLE, Enable, kNameLoadLimit);
        LoadResourceText(resources, IDS_KEY_SIGNAL_TYPE, SignalType, kNameLoadLimit);
        LoadResourceText(resources, IDS_KEY_INTERVAL, Interval, kNameLoadLimit);
        LoadResourceText(resources, IDS_KEY_TIME_TYPE, TimeType, kNameLoadLimit);
        LoadResourceText(resources, IDS_KEY_WAVE_NAME, WaveName, kNameLoadLimit);
    }
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// A file that is there but cannot be read (another program holds it open without sharing,
// or access is denied): the profile functions would answer with the defaults as if it
// were missing.
bool IsThereButUnreadable(const char* path) {
    const FileHandle file(CreateFileA(path, GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return false;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace

SignalSettings::SignalSettings(HINSTANCE resourceInstance) : ResourceInstance(resourceInstance) {}

SignalSettings::~SignalSettings() {
    // Before InitialLoad the fields hold nothing of the user's: writing them would
    // overwrite a good settings file with made-up values.
    if (HasLoaded) SaveToIni();
}

bool SignalSettings::GetIniPath(char* path) const {
    return PortableMode != 0 ? GetPortableIniPath(ResourceInstance, path)
                             : GetAppDataIniPath(ResourceInstance, path);
}

int SignalSettings::LoadFromIni() {
    char path[kPathBytes];
    const bool hasPath = GetIniPath(path);
    const bool unreadable = hasPath && IsThereButUnreadable(path);
    if (!hasPath || unreadable) {
        // No usable path or file: the defaults, as for a missing file. Saved at unload over
        // a file that is there, they would replace the user's settings.
        if (unreadable) HasLoaded = false;
        Enable = 0;
        SignalType = 0;
        Interval = 0xFFFFFFFFu;
        TimeType = 0;
        WaveName[0] = '\0';
        return 0;
    }
    const IniNames names(ResourceInstance);
    Enable = static_cast<int>(GetPrivateProfileIntA(names.Section, names.Enable, 0, path));
    SignalType = static_cast<int>(GetPrivateProfileIntA(names.Section, names.SignalType, 0, path));
    Interval = GetPrivateProfileIntA(names.Section, names.Interval, -1, path);
    TimeType = static_cast<int>(GetPrivateProfileIntA(names.Section, names.TimeType, 0, path));
    char wave[kWaveReadBytes];
    GetPrivateProfileStringA(names.Section, names.WaveName, "", wave, kWaveReadBytes, path);
    const std::size_t length = CutAtByteLimit(wave, kWaveNameMaxBytes, AnsiCodePageRule());
    std::memcpy(WaveName, wave, length + 1);
    return static_cast<int>(length);
}

bool SignalSettings::SaveToIni() {
    char path[kPathBytes];
    if (!GetIniPath(path)) return false;  // never write a cut path: it would name another file
    const IniNames names(ResourceInstance);
    char number[16];
    bool written = true;
    // Every key is tried even after a failure: each one that lands is one less to lose.
    std::snprintf(number, sizeof number, "%d", Enable);
    written &= WritePrivateProfileStringA(names.Section, names.Enable, number, path) != FALSE;
    std::snprintf(number, sizeof number, "%d", SignalType);
    written &= WritePrivateProfileStringA(names.Section, names.SignalType, number, path) != FALSE;
    std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(Interval));
    written &= WritePrivateProfileStringA(names.Section, names.Interval, number, path) != FALSE;
    std::snprintf(number, sizeof number, "%d", TimeType);
    written &= WritePrivateProfileStringA(names.Section, names.TimeType, number, path) != FALSE;
    written &= WritePrivateProfileStringA(names.Section, names.WaveName, WaveName, path) != FALSE;
    return written;
}

int SignalSettings::InitialLoad(int portable) {
    PortableMode = portable;
    HasLoaded = true;
    if (!HasLegacyRegistry(ResourceInstance)) return LoadFromIni();
    // Without the legacy values the fields would hold nothing loaded: save the file's own.
    if (!ImportFromRegistry(ResourceInstance, *this)) LoadFromIni();
    // The legacy store is the only copy until the file holds it.
    if (!SaveToIni()) return 0;
    return static_cast<int>(DeleteLegacyRegistry(ResourceInstance));
}

void SignalSettings::SetPortableMode(int mode) {
    PortableMode = mode;
}

int SignalSettings::ChangePortableMode(int mode) {
    char appDataPath[kPathBytes];
    char portablePath[kPathBytes];
    if (!GetAppDataIniPath(ResourceInstance, appDataPath) ||
        !GetPortableIniPath(ResourceInstance, portablePath)) {
        return 0;
    }
    const char* from = mode != 0 ? appDataPath : portablePath;
    const char* to = mode != 0 ? portablePath : appDataPath;
    if (!MoveFileExA(from, to, kMoveFlags)) return 0;
    PortableMode = mode;
    return 1;
}
