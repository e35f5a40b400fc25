#include "settings/ini_writer.h"

#include <windows.h>

#include <cstring>

#include "settings/ansi_code_page.h"
#include "settings/ini_layout.h"
#include "win32/file_replacement.h"

namespace {

enum class Encoding { Ansi, Utf16Little, Utf16Big };

void SwapUnits(char* bytes, std::size_t units) {
    for (std::size_t i = 0; i < units; ++i) {
        const char first = bytes[2 * i];
        bytes[2 * i] = bytes[2 * i + 1];
        bytes[2 * i + 1] = first;
    }
}

// What the save writes: pieces of the old file as they are, and new text in the file's
// encoding.
class IniOutput {
public:
    IniOutput(ReplacementFile& file, const FileBytes& old, Encoding encoding)
        : file_(file), old_(old), encoding_(encoding),
          base_(encoding == Encoding::Ansi ? 0 : 2), unit_(encoding == Encoding::Ansi ? 1 : 2) {}

    // The old file's units [from, to), counted after the byte-order mark.
    bool Old(std::size_t from, std::size_t to) {
        return file_.Write(old_.Data() + base_ + from * unit_, (to - from) * unit_);
    }
    // The old file from unit `from` to its last byte (an odd byte of a UTF-16 file included).
    bool OldToEnd(std::size_t from) {
        const std::size_t start = base_ + from * unit_;
        return file_.Write(old_.Data() + start, old_.Size() - start);
    }
    bool Mark() { return file_.Write(old_.Data(), base_); }
    // `length` bytes of ANSI text.
    bool Text(const char* text, std::size_t length) {
        if (encoding_ == Encoding::Ansi) return file_.Write(text, length);
        if (length == 0) return true;
        wchar_t wide[kWideChars];
        const int units = length < kWideChars
                              ? MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide,
                                                    static_cast<int>(kWideChars))
                              : 0;
        if (units <= 0) return false;
        char* bytes = reinterpret_cast<char*>(wide);
        if (encoding_ == Encoding::Utf16Big) SwapUnits(bytes, static_cast<std::size_t>(units));
        return file_.Write(bytes, static_cast<std::size_t>(units) * 2);
    }
    bool Text(const char* text) { return Text(text, std::strlen(text)); }
    // A value, up to its first line break.
    bool Value(const char* value) { return Text(value, std::strcspn(value, "\r\n")); }

private:
    static constexpr std::size_t kWideChars = 512;  // a name or a value, and more
    ReplacementFile& file_;
    const FileBytes& old_;
    Encoding encoding_;
    std::size_t base_, unit_;
};

Encoding EncodingOf(const FileBytes& bytes) {
    if (bytes.Size() >= 2) {
        const auto first = static_cast<unsigned char>(bytes.Data()[0]);
        const auto second = static_cast<unsigned char>(bytes.Data()[1]);
        if (first == 0xFF && second == 0xFE) return Encoding::Utf16Little;
        if (first == 0xFE && second == 0xFF) return Encoding::Utf16Big;
    }
    return Encoding::Ansi;
}

}  // namespace

bool WriteIniKeys(const char* path, const char* section, const char* const* keys,
                  const char* const* values, std::size_t count) {
    if (count > kMaxIniKeys) return false;
    FileBytes old;
    if (ReadWholeFile(path, old) == FileRead::Failed) return false;  // never write over what was not read
    const Encoding encoding = EncodingOf(old);
    IniLayout layout;
    std::size_t units = old.Size();
    if (encoding == Encoding::Ansi) {
        layout = FindIniKeys(old.Data(), units, section, keys, count, AnsiCodePageRule());
    } else {
        units = (old.Size() - 2) / 2;
        char* text = old.Data() + 2;
        if (encoding == Encoding::Utf16Big) SwapUnits(text, units);
        layout = FindIniKeys(reinterpret_cast<const char16_t*>(text), units, section, keys, count);
        if (encoding == Encoding::Utf16Big) SwapUnits(text, units);  // written back as it was
    }

    ReplacementFile file(path);
    if (!file.Opened()) return false;
    IniOutput out(file, old, encoding);
    bool written = out.Mark();
    // The keys' lines in the order they stand in the file.
    std::size_t order[kMaxIniKeys];
    std::size_t found = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (!layout.Keys[k].Found) continue;
        std::size_t at = found++;
        for (; at > 0 && layout.Keys[order[at - 1]].Start > layout.Keys[k].Start; --at) {
            order[at] = order[at - 1];
        }
        order[at] = k;
    }
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < found; ++i) {
        const IniKeyLine& line = layout.Keys[order[i]];
        written = written && out.Old(cursor, line.NameEnd) && out.Text("=") &&
                  out.Value(values[order[i]]);
        cursor = line.End;
    }
    if (found < count || !layout.SectionFound) {
        written = written && out.Old(cursor, layout.InsertAt);
        cursor = layout.InsertAt;
        if (layout.LineBreakFirst) written = written && out.Text("\r\n");
        if (!layout.SectionFound) {
            if (layout.InsertAt > 0) written = written && out.Text("\r\n");
            written = written && out.Text("[") && out.Text(section) && out.Text("]\r\n");
        }
        for (std::size_t k = 0; k < count; ++k) {
            if (layout.Keys[k].Found) continue;
            written = written && out.Text(keys[k]) && out.Text("=") && out.Value(values[k]) &&
                      out.Text("\r\n");
        }
    }
    written = written && out.OldToEnd(cursor);
    return written && file.Commit();
}
