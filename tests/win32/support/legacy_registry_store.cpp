#include "support/legacy_registry_store.h"
#include "win32/scoped_win.h"

#include <shlwapi.h>

bool KeyExists(HKEY root, const std::string& path) {
    scoped::RegistryKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

bool SetRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& bytes) {
    scoped::RegistryKey key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.Get(), name.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool SetRegistryNumber(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    return SetRegistryValue(root, path, name, REG_DWORD,
                            std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

bool SetRegistryText(HKEY root, const std::string& path, const std::string& name,
                     const std::string& text) {
    return SetRegistryValue(root, path, name, REG_SZ, text + '\0');
}

LegacyRegistrySandbox::LegacyRegistrySandbox() {
    Clean();
}

LegacyRegistrySandbox::~LegacyRegistrySandbox() {
    Clean();
}

bool LegacyRegistrySandbox::CreateLegacyStore() {
    scoped::RegistryKey legacy;
    return RegCreateKeyExA(HKEY_CURRENT_USER, kLegacyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           legacy.Receive(), nullptr) == ERROR_SUCCESS &&
           SetRegistryText(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName", "Orlune");
}

bool LegacyRegistrySandbox::CreateLegacyStore(const SettingValues& values) {
    bool created = CreateLegacyStore();
    for (int i = 0; i < 4; ++i) {
        created = created && SetRegistryNumber(HKEY_CURRENT_USER, kLegacyKey, kKeysInOrder[i],
                                                std::stoul(AsWritten(values)[i]));
    }
    return created && SetRegistryText(HKEY_CURRENT_USER, kLegacyKey, "WaveName", values.WaveName);
}

void LegacyRegistrySandbox::Clean() {
    SHDeleteKeyA(HKEY_CURRENT_USER, kVendorKey);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallEntry);
}
