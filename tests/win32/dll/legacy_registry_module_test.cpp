// The legacy registry import through the real DLL, with the module's own registry calls
// failing the way they can on a user's machine: no right to the machine's uninstall folder,
// or a legacy key that can no longer be opened when the import runs.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <memory>

#include "support/import_hook.h"
#include "support/legacy_registry_store.h"
#include "support/module_under_test.h"
#include "support/settings_files.h"
#include "support/setting_values.h"

namespace {

decltype(&RegOpenKeyExA) realOpen = nullptr;
decltype(&RegCreateKeyExA) realCreate = nullptr;

// What a user without administrative rights meets.
LSTATUS WINAPI DenyMachineKeys(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    if (root == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
    return realOpen(root, path, options, access, key);
}

LSTATUS WINAPI DenyCreate(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                          PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

// Another program removes the legacy key between the module's test for it and the import.
LSTATUS WINAPI CreateAfterVanishing(HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass,
                                    DWORD options, REGSAM access,
                                    LPSECURITY_ATTRIBUTES security, PHKEY key,
                                    LPDWORD disposition) {
    SHDeleteKeyA(HKEY_CURRENT_USER, kLegacyKey);
    return realCreate(root, path, reserved, keyClass, options, access, security, key, disposition);
}

TEST(LegacyImportModule, RegistryFailuresNeverCostTheSettings) {
    const SettingValues fromFile{1, 0, 60, 0, "file.wav"}, fromLegacy{0, 0, 900, 0, "legacy.wav"};
    const struct {
        const char* name;
        const char* function;
        const void* hook;
        int result;
        bool imported;        // else the file's own values are kept
        bool uninstallEntry;  // left in place
    } cases[] = {
        {"no failure", nullptr, nullptr, 0, true, false},
        {"uninstall folder denied", "RegOpenKeyExA", reinterpret_cast<const void*>(DenyMachineKeys),
         ERROR_ACCESS_DENIED, true, true},
        {"legacy key denied at import", "RegCreateKeyExA",
         reinterpret_cast<const void*>(DenyCreate), 0, false, false},
        {"legacy key vanished before import", "RegCreateKeyExA",
         reinterpret_cast<const void*>(CreateAfterVanishing), 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyRegistrySandbox registry;
        SettingsFilesSandbox files;
        ASSERT_TRUE(files.CreateAppDataFolders());
        ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), Settings(fromFile)));
        ASSERT_TRUE(registry.CreateLegacyStore(fromLegacy));
        {
            ModuleUnderTest module;
            ASSERT_TRUE(module.Loaded());
            std::unique_ptr<ImportHook> hook;
            if (c.function) {
                hook = std::make_unique<ImportHook>(module.Handle, "advapi32.dll", c.function,
                                                    c.hook);
                ASSERT_TRUE(hook->Installed()) << c.function;
                realOpen = hook->Original<decltype(&RegOpenKeyExA)>();
                realCreate = hook->Original<decltype(&RegCreateKeyExA)>();
            }
            EXPECT_EQ(module.Api.InitialLoad(0), c.result);
            EXPECT_EQ(module.Api.IsModuleEnable(), (c.imported ? fromLegacy : fromFile).Enable);
        }
        // Written at the import and once more at unload.
        ExpectFileHolds(AppDataIniPath(), c.imported ? fromLegacy : fromFile);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kLegacyKey));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kVendorKey));
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry), c.uninstallEntry);
    }
}

}  // namespace
