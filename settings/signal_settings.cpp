#include "settings/signal_settings.h"

#include <cstring>
#include <iterator>

#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/legacy_registry.h"
#include "settings/setting_keys.h"
#include "settings/settings_paths.h"
#include "win32/resource_text.h"
#include "win32/scoped_win.h"

namespace {

constexpr int kNameBytes = 364;      // section and key names: loads limited to 361 bytes
constexpr int kNameLoadLimit = 361;
// WaveName is read with room to spare and then cut to 259 bytes on a character boundary,
// so a long value never ends in half a double-byte character.
constexpr DWORD kTextReadBytes = 1024;
constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                             MOVEFILE_WRITE_THROUGH;  // 11

// The section name and each key's name, in the order of kSettingKeys.
struct IniNames {
    char Section[kNameBytes];
    char Keys[std::size(kSettingKeys)][kNameBytes];

    explicit IniNames(HINSTANCE resources) {
        LoadResourceText(resources, IDS_SECTION, Section, kNameLoadLimit);
        for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
            LoadResourceText(resources, kSettingKeys[i].NameId, Keys[i], kNameLoadLimit);
        }
    }
};

// A file that is there but cannot be read (another program holds it open without sharing,
// or access is denied): the profile functions would answer with the defaults as if it
// were missing.
bool IsThereButUnreadable(const char* path) {
    const scoped::File file(CreateFileA(path, GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return false;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace

SignalSettings::SignalSettings(HINSTANCE resourceInstance) : ResourceInstance(resourceInstance) {}

SignalSettings::~SignalSettings() {
    SaveUsersValues();
}

bool SignalSettings::SaveUsersValues() {
    return HoldsUsersValues() && SaveToIni();
}

bool SignalSettings::SaveAfterDialog() {
    if (!HoldsUsersValues()) return false;
    if (IniPath[0] == '\0') FindIniPath();
    return SaveToIni();
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
    // No usable path or file: the defaults, as for a missing file, but not the user's.
    usersValues_ = IniPath[0] != '\0' && !IsThereButUnreadable(IniPath);
    if (!usersValues_) {
        SetDefaults(*this);
        return 0;
    }
    const IniNames names(ResourceInstance);
    int waveLength = 0;
    for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
        const SettingKey& key = kSettingKeys[i];
        if (!key.IsText()) {
            key.SetNumber(*this, GetPrivateProfileIntA(names.Section, names.Keys[i],
                                                       static_cast<INT>(key.Default), IniPath));
            continue;
        }
        char text[kTextReadBytes];
        GetPrivateProfileStringA(names.Section, names.Keys[i], "", text, kTextReadBytes, IniPath);
        const std::size_t length = CutAtByteLimit(text, kPathMaxLength, AnsiCodePageRule());
        std::memcpy(this->*key.Text, text, length + 1);
        waveLength = static_cast<int>(length);
    }
    return waveLength;
}

bool SignalSettings::SaveToIni() {
    // No path when it did not fit: a cut path would name another file.
    if (IniPath[0] == '\0') return false;
    const IniNames names(ResourceInstance);
    bool written = true;
    // Every key is tried even after a failure: each one that lands is one less to lose.
    for (std::size_t i = 0; i < std::size(kSettingKeys); ++i) {
        const SettingKey& key = kSettingKeys[i];
        char number[16];
        if (!key.IsText()) key.FormatNumber(*this, number, sizeof number);
        const char* value = key.IsText() ? this->*key.Text : number;
        written &= WritePrivateProfileStringA(names.Section, names.Keys[i], value, IniPath) != FALSE;
    }
    return written;
}

int SignalSettings::InitialLoad(int portable) {
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
    PortableMode = mode;
    FindIniPath();
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
    std::memcpy(IniPath, to, sizeof IniPath);
    return 1;
}
