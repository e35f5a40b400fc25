#include "settings/ansi_code_page.h"

#include <windows.h>

DoubleByteRule AnsiCodePageRule() {
    DoubleByteRule rule(GetACP());
    for (unsigned byte = 0; byte <= 0xFF; ++byte) {
        if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(byte))) {
            rule.AddLeadBytes({static_cast<unsigned char>(byte), static_cast<unsigned char>(byte)});
        }
    }
    return rule;
}
