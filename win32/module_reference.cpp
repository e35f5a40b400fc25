#include "win32/module_reference.h"

HMODULE TakeModuleReference() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&TakeModuleReference), &module)) {
        return nullptr;
    }
    return module;
}

bool ProcessChecksReturnAddresses() {
    // Windows 8 and later: looked up in the kernel32 that is already loaded, never imported.
    using GetPolicy = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, void*, SIZE_T);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto getPolicy =
        kernel32 ? reinterpret_cast<GetPolicy>(
                       reinterpret_cast<void*>(GetProcAddress(kernel32, "GetProcessMitigationPolicy")))
                 : nullptr;
    if (!getPolicy) return false;
    // A system that does not know a policy fails the call; one that answers without filling
    // the buffer (Wine) leaves it off.
    PROCESS_MITIGATION_USER_SHADOW_STACK_POLICY shadowStack{};
    PROCESS_MITIGATION_PAYLOAD_RESTRICTION_POLICY payload{};
    const HANDLE process = GetCurrentProcess();
    if (getPolicy(process, ProcessUserShadowStackPolicy, &shadowStack, sizeof shadowStack) &&
        shadowStack.EnableUserShadowStack) {
        return true;
    }
    return getPolicy(process, ProcessPayloadRestrictionPolicy, &payload, sizeof payload) &&
           (payload.EnableRopCallerCheck || payload.EnableRopSimExec || payload.EnableRopStackPivot);
}
