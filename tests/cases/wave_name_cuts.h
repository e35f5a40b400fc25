#pragma once
// One table of WaveName texts in code page 932 and what is kept of each at the 259-byte limit
// (never half a double-byte character). Every layer that takes a name in runs these rows:
// the plain cut, the settings file, the legacy registry, the dialog's edit. No Windows here.
#include <string>
#include <vector>

struct WaveNameCut {
    const char* Name;
    std::string Text;  // code page 932 bytes
    std::string Kept;
};

inline std::string RepeatText(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

inline const std::vector<WaveNameCut>& WaveNameCuts() {
    static const std::string so = "\x83\x5C";  // ソ: its trail byte is the byte of '\'
    static const std::vector<WaveNameCut> rows = {
        {"empty", "", ""},
        // "C:\ソフト\時報.wav"
        {"short", "C:\\\x83\x5C\x83\x74\x83\x67\\\x8E\x9E\x95\xF1.wav",
         "C:\\\x83\x5C\x83\x74\x83\x67\\\x8E\x9E\x95\xF1.wav"},
        {"259 bytes", std::string(259, 'a'), std::string(259, 'a')},
        {"260 bytes", std::string(259, 'b') + "c", std::string(259, 'b')},
        {"2000 bytes", std::string(2000, 'd'), std::string(259, 'd')},
        {"double-byte character ending at 259", std::string(257, 'e') + so,
         std::string(257, 'e') + so},
        {"double-byte character across 259", std::string(258, 'f') + so, std::string(258, 'f')},
        {"0x5C trail bytes only", RepeatText(so, 130), RepeatText(so, 129)},
        {"0x5C trail bytes after one odd byte", "g" + RepeatText(so, 130), "g" + RepeatText(so, 129)},
    };
    return rows;
}
