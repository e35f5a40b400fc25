#pragma once
// The five persisted settings, one row each in the order they are written: the key's string
// id (the legacy registry value bears the same name), the field it fills, and what a missing
// key or value gives. The defaults, the load, the save and the legacy import all run over
// this table.
#include <windows.h>

#include "settings/signal_settings.h"

struct SettingKey {
    UINT NameId;
    // Exactly one of the three is set: a signed number (written "%d"), an unsigned number
    // (written "%u"), or text (the default is then empty).
    int SignalSettings::*Signed;
    DWORD SignalSettings::*Unsigned;
    char (SignalSettings::*Text)[kPathBytes];
    DWORD Default;

    bool IsText() const { return Text != nullptr; }
    // Sets the number from its 32 bits.
    void SetNumber(SignalSettings& settings, DWORD value) const;
    // "%d" or "%u" of the field, into `out` (at least 12 bytes).
    void FormatNumber(const SignalSettings& settings, char* out, std::size_t outBytes) const;
};

extern const SettingKey kSettingKeys[5];

// Every field to its default: what a missing settings file gives.
void SetDefaults(SignalSettings& settings);
