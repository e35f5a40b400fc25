#pragma once
// The registry store of the module's earlier release as the tests lay it out: the current
// user's key Software\Tivrand\Orlune with its values, and the machine's uninstall entry
// "Pandrel Plug Orlune". Checked through the registry itself, never through the module.
#include <windows.h>

#include <string>

#include "support/setting_values.h"

constexpr char kVendorKey[] = "Software\\Tivrand";
constexpr char kLegacyKey[] = "Software\\Tivrand\\Orlune";
constexpr char kUninstallFolder[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallEntry[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pandrel Plug Orlune";

bool KeyExists(HKEY root, const std::string& path);
// Creates the key as needed and sets one value of any type to exactly these bytes.
bool SetRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& bytes);
bool SetRegistryNumber(HKEY root, const std::string& path, const std::string& name, DWORD value);
// Text with its terminator, as REG_SZ.
bool SetRegistryText(HKEY root, const std::string& path, const std::string& name,
                     const std::string& text);

// Keeps every test's registry its own: on entry and on exit Software\Tivrand (with all below
// it) and the uninstall entry are removed.
class LegacyRegistrySandbox {
public:
    LegacyRegistrySandbox();
    ~LegacyRegistrySandbox();
    LegacyRegistrySandbox(const LegacyRegistrySandbox&) = delete;
    LegacyRegistrySandbox& operator=(const LegacyRegistrySandbox&) = delete;

    // The legacy key and the uninstall entry (with a display name), as the old installer left them.
    bool CreateLegacyStore();
    // The same, the key holding the five values as the earlier release wrote them.
    bool CreateLegacyStore(const SettingValues& values);

private:
    static void Clean();
};
