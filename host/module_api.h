#pragma once
// The ten exports as a host finds them in a loaded module: by name, through GetProcAddress,
// with the types module/exports.h gives them. Used by the stand-in host and the tests.
#include <windows.h>

#include <string>
#include <type_traits>

#include "module/exports.h"

struct ModuleApi {
    decltype(&::QueryVekModule) QueryVekModule = nullptr;
    decltype(&::SetParentWindow) SetParentWindow = nullptr;
    decltype(&::IsModuleEnable) IsModuleEnable = nullptr;
    decltype(&::GetTitleName) GetTitleName = nullptr;
    decltype(&::Setting) Setting = nullptr;
    decltype(&::StartModule) StartModule = nullptr;
    decltype(&::StopModule) StopModule = nullptr;
    decltype(&::SetPortableMode) SetPortableMode = nullptr;
    decltype(&::ChangePortableMode) ChangePortableMode = nullptr;
    decltype(&::InitialLoad) InitialLoad = nullptr;
};

// Fills every export it finds; returns the names of those it does not, comma-separated.
inline std::string ResolveExports(HMODULE module, ModuleApi& api) {
    std::string missing;
    auto find = [&](const char* name, auto& slot) {
        const FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(proc));
        if (!proc) missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    find("QueryVekModule", api.QueryVekModule);
    find("SetParentWindow", api.SetParentWindow);
    find("IsModuleEnable", api.IsModuleEnable);
    find("GetTitleName", api.GetTitleName);
    find("Setting", api.Setting);
    find("StartModule", api.StartModule);
    find("StopModule", api.StopModule);
    find("SetPortableMode", api.SetPortableMode);
    find("ChangePortableMode", api.ChangePortableMode);
    find("InitialLoad", api.InitialLoad);
    return missing;
}
