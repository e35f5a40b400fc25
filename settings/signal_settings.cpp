#include "settings/signal_settings.h"

#include <cstring>
#include <iterator>

#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/legacy_registry.h"
#include "settings/setting_keys.h"
#include "settings/settings_paths.h"
#include "win32/file_replacement.h"
#include "win32/profile_file.h"
#include "win32/resource_text.h"
#include "win32/scoped_win.h"

namespace {

constexpr int kNameBytes = 364;      // section and key names: loads limited to 361 bytes
constexpr int kNameLoadLimit = 361;
// WaveName is read with room to spare and then cut to 259 bytes on a character boundary,
// so a long value never ends in half a double-byte character.
constexpr DWORD kTextReadBytes = 1024;

// The section name and each key's name, in the order of kSettingKeys.
struct IniNames {
    char Section[kNameBytes];
    char Keys[std::size(kSettingKeys)][kNameBytes];
    const char* KeyList[std::size(kSettingKeys)];

    explicit IniNames(HINSTANCE resources) {
        LoadResourceText(resources, IDS_SECTION, Section, kNameLoadLimit);
        for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
            LoadResourceText(resources, kSettingKeys[i].NameId, Keys[i], kNameLoadLimit);
            KeyList[i] = Keys[i];
        }
    }
};

enum class FileState { Missing, Readable, Unreadable };

// Whether the file is there, and can be read. One that is there but cannot be read (another
// program holds it open without sharing, or access is denied) would give the profile
// functions' defaults as if it were missing.
FileState StateOf(const wchar_t* path) {
    const scoped::File file(CreateFileW(path, GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return FileState::Readable;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::Missing
                                                                          : FileState::Unreadable;
}

}  // namespace

SignalSettings::SignalSettings(HINSTANCE resourceInstance) : ResourceInstance(resourceInstance) {}

SignalSettings::~SignalSettings() {
    SaveUsersValues();
}

bool SignalSettings::SaveUsersValues(PlaceWait wait) {
    return HoldsUsersValues() && SaveToIni(wait);
}

bool SignalSettings::SaveIfFileMayLack() {
    return fileMayLack_ && SaveUsersValues(PlaceWait::Exit);
}

bool SignalSettings::SaveAfterDialog() {
    if (!HoldsUsersValues()) return false;
    if (IniPath[0] == '\0') FindIniPath();
    return SaveToIni();
}

void SignalSettings::ConfirmUsersValues() {
    // Before any load the dialog showed defaults, not the file's values: OK then changes the
    // session only, and nothing is written over the user's file.
    if (loaded_) usersValues_ = true;
}

void SignalSettings::FindIniPath() {
    // Either leaves the path empty when it does not fit.
    if (PortableMode != 0) {
        GetPortableIniPath(ResourceInstance, IniPath);
    } else {
        GetAppDataIniPath(ResourceInstance, IniPath);
    }
}

int SignalSettings::LoadFromIni() {
    const IniNames names(ResourceInstance);
    // One wide name for every call, so that the load reads the file the save writes.
    wchar_t path[kWidePathChars];
    const bool named = IniPath[0] != '\0' && ToWidePath(IniPath, L"", path);
    // No usable path or file: the defaults, as for a missing file, but not the user's.
    FileState state = named ? StateOf(path) : FileState::Unreadable;
    // A save that a power cut stopped in the middle of its rename (FAT32, exFAT).
    if (state == FileState::Missing &&
        RestoreLeftProfile(path, names.Section, names.KeyList, std::size(kSettingKeys))) {
        state = StateOf(path);
    }
    usersValues_ = state != FileState::Unreadable;
    // A missing file's defaults are the user's, but not on disk yet.
    fileMayLack_ = state == FileState::Missing;
    if (!usersValues_) {
        SetDefaults(*this);
        return 0;
    }
    int waveLength = 0;
    for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
        const SettingKey& key = kSettingKeys[i];
        if (!key.IsText()) {
            key.SetNumber(*this, ReadProfileNumber(path, names.Section, names.Keys[i],
                                                   static_cast<INT>(key.Default)));
            continue;
        }
        char text[kTextReadBytes];
        ReadProfileText(path, names.Section, names.Keys[i], text, kTextReadBytes);
        const std::size_t length = CutAtByteLimit(text, kPathMaxLength, AnsiCodePageRule());
        std::memcpy(this->*key.Text, text, length + 1);
        waveLength = static_cast<int>(length);
    }
    return waveLength;
}

bool SignalSettings::SaveToIni(PlaceWait wait) {
    // What the file will keep is what the session keeps, saved or not.
    CutAtLineBreak(WaveName);
    // No path when it did not fit: a cut path would name another file.
    wchar_t path[kWidePathChars];
    if (IniPath[0] == '\0' || !ToWidePath(IniPath, L"", path)) return false;
    const IniNames names(ResourceInstance);
    char numbers[std::size(kSettingKeys)][16];
    ProfileValue values[std::size(kSettingKeys)];
    for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
        const SettingKey& key = kSettingKeys[i];
        if (key.IsText()) {
            values[i] = {names.Keys[i], this->*key.Text, kPathBytes};
        } else {
            key.FormatNumber(*this, numbers[i], sizeof numbers[i]);
            values[i] = {names.Keys[i], numbers[i], sizeof numbers[i]};
        }
    }
    const bool saved = SaveProfileValues(path, names.Section, values, std::size(kSettingKeys),
                                         wait) != ProfileSaved::Refused;
    fileMayLack_ = !saved;
    return saved;
}

int SignalSettings::InitialLoad(int portable) {
    loaded_ = true;
    PortableMode = portable;
    FindIniPath();
    if (!HasLegacyRegistry(ResourceInstance)) return LoadFromIni();
    if (ImportFromRegistry(ResourceInstance, *this)) {
        usersValues_ = true;
    } else {
        LoadFromIni();  // without the legacy values, the file's own are the ones to save
    }
    // The legacy store is the only copy until the file holds it.
    if (!SaveUsersValues()) return 0;
    return static_cast<int>(DeleteLegacyRegistry(ResourceInstance));
}

void SignalSettings::SetPortableMode(int mode) {
    char before[kPathBytes];
    std::memcpy(before, IniPath, sizeof before);
    PortableMode = mode;
    FindIniPath();
    // The file at another path may hold other values, or none.
    if (lstrcmpiA(before, IniPath) != 0) fileMayLack_ = true;
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
    if (!MoveFileWhole(from, to)) return 0;
    PortableMode = mode;
    std::memcpy(IniPath, to, sizeof IniPath);
    return 1;
}
