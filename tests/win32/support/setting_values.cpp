#include "support/setting_values.h"

#include <gtest/gtest.h>

#include "support/settings_files.h"

std::vector<std::string> AsWritten(const SettingValues& values) {
    return {std::to_string(values.Enable), std::to_string(values.SignalType),
            std::to_string(static_cast<unsigned long>(values.Interval)),
            std::to_string(values.TimeType), values.WaveName};
}

SettingValues With(SettingValues values, const std::function<void(SettingValues&)>& change) {
    change(values);
    return values;
}

void ExpectFileHolds(const std::string& path, const SettingValues& values) {
    const IniText ini = IniText::FromFile(path);
    const std::vector<std::string> written = AsWritten(values);
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(ini.Value(kSection, kKeysInOrder[i]), written[i]) << path << " " << kKeysInOrder[i];
    }
}

std::string Settings(const std::string& keys) {
    return std::string("[") + kSection + "]\r\n" + keys;
}

std::string Settings(const SettingValues& values) {
    const std::vector<std::string> written = AsWritten(values);
    std::string keys;
    for (std::size_t i = 0; i < written.size(); ++i) {
        keys += std::string(kKeysInOrder[i]) + "=" + written[i] + "\r\n";
    }
    return Settings(keys);
}
