#include "settings/legacy_registry.h"

#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/ansi_code_page.h"
#include "settings/setting_keys.h"
#include "settings/signal_settings.h"
#include "win32/resource_text.h"
#include "win32/scoped_win.h"
#include "win32/system_library.h"

namespace {

constexpr int kKeyNameBytes = 65;    // each half of the legacy key's path, terminator included
constexpr int kValueNameBytes = 364; // value names load like the INI keys: at most 361 bytes
constexpr int kValueNameLoadLimit = 361;
constexpr char kUninstallFolder[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallEntry[] = "Pandrel Plug Orlune";

// "Software\Tivrand\" and "Orlune". False when either is missing: an empty name would make
// the current user's root key itself the legacy key, and its deletion a disaster.
struct LegacyKeyNames {
    char Vendor[kKeyNameBytes];
    char Product[kKeyNameBytes];
    char Path[2 * kKeyNameBytes];

    bool Load(HINSTANCE resources) {
        LoadResourceText(resources, IDS_LEGACY_VENDOR, Vendor, kKeyNameBytes);
        LoadResourceText(resources, IDS_SECTION, Product, kKeyNameBytes);
        std::snprintf(Path, sizeof Path, "%s%s", Vendor, Product);
        return Vendor[0] != '\0' && Product[0] != '\0';
    }
};

struct ValueName {
    char Text[kValueNameBytes];
    ValueName(HINSTANCE resources, UINT id) {
        LoadResourceText(resources, id, Text, kValueNameLoadLimit);
    }
};

// Takes the key only when the call succeeded: what a failed call leaves in its out
// parameter is no key.
LONG Take(LONG result, HKEY received, scoped::RegistryKey& key) {
    key.Reset(result == ERROR_SUCCESS ? received : nullptr);
    return result;
}

LONG OpenKey(HKEY root, const char* path, scoped::RegistryKey& key) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &opened);
    return Take(result, opened, key);
}

// A four-byte REG_DWORD, or four bytes of REG_BINARY (what some tools write a number as),
// is the number. Other types take the default: the text "900" is also four bytes, and its
// bytes read as a number would be 3158073. Other sizes would leave part of the field as it
// was, and take the default too.
DWORD ReadNumber(HKEY key, const ValueName& name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name.Text, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value || (type != REG_DWORD && type != REG_BINARY)) {
        return fallback;
    }
    return value;
}

// REG_SZ text of up to kPathBytes bytes, with or without a terminator of its own,
// terminated and cut to 259 bytes on a character boundary. Longer text, and a value of
// another type, give an empty name.
void ReadWaveName(HKEY key, const ValueName& name, char* waveName) {
    char text[kPathBytes + 2];
    DWORD type = 0;
    DWORD size = kPathBytes + 1;
    const bool accepted = RegQueryValueExA(key, name.Text, nullptr, &type,
                                           reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
                          type == REG_SZ;
    const std::size_t length = TerminateRegistryText(text, size, accepted, kPathBytes,
                                                     kPathMaxLength, AnsiCodePageRule());
    std::memcpy(waveName, text, length + 1);
}

// Deletes `subKey` of `parent` with everything below it; without the helper library, nothing
// (as when the deletion fails: the import then comes again at the next start).
void DeleteTree(HKEY parent, const char* subKey) {
    using Function = LONG(WINAPI*)(HKEY, LPCSTR);
    const auto deleteKey = TheRegistryHelperLibrary.Find<Function>("SHDeleteKeyA");
    if (deleteKey) deleteKey(parent, subKey);
}

}  // namespace

int HasLegacyRegistry(HINSTANCE resources) {
    LegacyKeyNames names;
    if (!names.Load(resources)) return 0;
    scoped::RegistryKey key;
    return OpenKey(HKEY_CURRENT_USER, names.Path, key) == ERROR_SUCCESS ? 1 : 0;
}

bool ImportFromRegistry(HINSTANCE resources, SignalSettings& settings) {
    LegacyKeyNames names;
    if (!names.Load(resources)) return false;
    scoped::RegistryKey key;
    HKEY created = nullptr;
    DWORD disposition = 0;
    char noClass[] = "";
    const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, names.Path, 0, noClass,
                                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                                        &disposition);
    if (Take(result, created, key) != ERROR_SUCCESS) return false;
    if (disposition == REG_CREATED_NEW_KEY) {
        // The key vanished since it was found. The one made now holds nothing, and left in
        // place it would hand its defaults to every later start.
        key.Reset();
        RegDeleteKeyA(HKEY_CURRENT_USER, names.Path);
        return false;
    }
    for (const SettingKey& setting : kSettingKeys) {
        const ValueName name(resources, setting.NameId);
        if (setting.IsText()) {
            ReadWaveName(key.Get(), name, settings.*setting.Text);
        } else {
            setting.SetNumber(settings, ReadNumber(key.Get(), name, setting.Default));
        }
    }
    return true;
}

LONG DeleteLegacyRegistry(HINSTANCE resources) {
    LegacyKeyNames names;
    if (names.Load(resources)) {
        scoped::RegistryKey vendor;
        if (OpenKey(HKEY_CURRENT_USER, names.Vendor, vendor) == ERROR_SUCCESS) {
            DeleteTree(vendor.Get(), names.Product);
        }
    }
    scoped::RegistryKey uninstall;
    const LONG opened = OpenKey(HKEY_LOCAL_MACHINE, kUninstallFolder, uninstall);
    if (opened != ERROR_SUCCESS) return opened;
    DeleteTree(uninstall.Get(), kUninstallEntry);
    return static_cast<LONG>(uninstall.Reset());
}
