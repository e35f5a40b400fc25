#pragma once
// A counted reference on the module this code lives in, as LoadLibrary would take one: while
// it is held, the host's FreeLibrary cannot unmap the module.
#include <windows.h>

// The module's handle with its reference count raised by one, or null when the system
// refused. The holder gives it back with FreeLibrary (or FreeLibraryAndExitThread) as the
// last thing it does in the module's code: the release may be the one that unmaps it.
HMODULE TakeModuleReference();
