#include "win32/resource_text.h"

int LoadResourceText(HINSTANCE resources, UINT id, char* buffer, int bufferBytes) {
    buffer[0] = '\0';
    return LoadStringA(resources, id, buffer, bufferBytes);
}
