#pragma once
// The five settings as the tests state them, the texts the tests share, and how a settings
// file is checked to hold them.
#include <windows.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

constexpr char kSection[] = "Orlune";
// The keys in the order the module writes them.
inline const char* const kKeysInOrder[] = {"Enable", "SignalType", "Interval", "TimeType", "WaveName"};
// "C:\ソフト\時報.wav" in code page 932: ソ ends in 0x5C, the byte of a backslash.
inline const std::string kJapaneseWave = "C:\\\x83\x5C\x83\x74\x83\x67\\\x8E\x9E\x95\xF1.wav";
inline const std::string kSo = "\x83\x5C";  // ソ

struct SettingValues {
    int Enable, SignalType;
    DWORD Interval;
    int TimeType;
    std::string WaveName;  // code page 932
    bool operator==(const SettingValues& o) const {
        return Enable == o.Enable && SignalType == o.SignalType && Interval == o.Interval &&
               TimeType == o.TimeType && WaveName == o.WaveName;
    }
};

inline void PrintTo(const SettingValues& v, std::ostream* out) {
    *out << "{" << v.Enable << ", " << v.SignalType << ", " << v.Interval << ", " << v.TimeType
         << ", \"" << v.WaveName << "\"}";
}

// The five values a settings record (or the module) holds; the name up to its terminator or
// the end of its buffer, so a missing terminator shows.
template <typename Record>
SettingValues ValuesOf(const Record& r) {
    return {r.Enable, r.SignalType, r.Interval, r.TimeType,
            std::string(r.WaveName, strnlen(r.WaveName, sizeof r.WaveName))};
}

// The five values into a settings record (the name must fit its buffer).
template <typename Record>
void SetValues(Record& r, const SettingValues& v) {
    r.Enable = v.Enable;
    r.SignalType = v.SignalType;
    r.Interval = v.Interval;
    r.TimeType = v.TimeType;
    std::memcpy(r.WaveName, v.WaveName.c_str(), v.WaveName.size() + 1);
}

// Values no load gives, in every field of a settings record, so that a field a load leaves
// alone shows.
template <typename Record>
void FillWithSentinels(Record& r) {
    r.Enable = r.SignalType = r.TimeType = 7;
    r.Interval = 7;
    std::memset(r.WaveName, 'Z', sizeof r.WaveName);
}

// What a missing file gives.
inline const SettingValues kDefaults{0, 0, 0xFFFFFFFFu, 0, ""};

// The five values as the file holds them, in key order ("None" as 4294967295).
std::vector<std::string> AsWritten(const SettingValues& values);
// `values` with one change.
SettingValues With(SettingValues values, const std::function<void(SettingValues&)>& change);
// The file's [Orlune] section holds exactly these values (other lines are not looked at).
void ExpectFileHolds(const std::string& path, const SettingValues& values);
// "[Orlune]\r\n" followed by `keys`.
std::string Settings(const std::string& keys);
// A settings file holding the five values, in key order.
std::string Settings(const SettingValues& values);
