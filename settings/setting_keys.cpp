#include "settings/setting_keys.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "settings/interval_none.h"

const SettingKey kSettingKeys[5] = {
    {IDS_KEY_ENABLE, &SignalSettings::Enable, nullptr, nullptr, 0},
    {IDS_KEY_SIGNAL_TYPE, &SignalSettings::SignalType, nullptr, nullptr, 0},
    {IDS_KEY_INTERVAL, nullptr, &SignalSettings::Interval, nullptr, kIntervalNone},
    {IDS_KEY_TIME_TYPE, &SignalSettings::TimeType, nullptr, nullptr, 0},
    {IDS_KEY_WAVE_NAME, nullptr, nullptr, &SignalSettings::WaveName, 0},
};

void SettingKey::SetNumber(SignalSettings& settings, DWORD value) const {
    if (Signed) {
        settings.*Signed = static_cast<int>(value);
    } else {
        settings.*Unsigned = value;
    }
}

void SettingKey::FormatNumber(const SignalSettings& settings, char* out, std::size_t outBytes) const {
    if (Signed) {
        std::snprintf(out, outBytes, "%d", settings.*Signed);
    } else {
        std::snprintf(out, outBytes, "%lu", static_cast<unsigned long>(settings.*Unsigned));
    }
}

void SetDefaults(SignalSettings& settings) {
    for (const SettingKey& key : kSettingKeys) {
        if (key.IsText()) {
            (settings.*key.Text)[0] = '\0';
        } else {
            key.SetNumber(settings, key.Default);
        }
    }
}
