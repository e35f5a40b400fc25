#include "win32/module_reference.h"

HMODULE TakeModuleReference() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&TakeModuleReference), &module)) {
        return nullptr;
    }
    return module;
}
