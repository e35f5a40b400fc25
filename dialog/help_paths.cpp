#include "dialog/help_paths.h"

#include <cstring>
#include <initializer_list>

#include "resources/resource_ids.h"

namespace {

constexpr int kControlsWithPopupHelp[] = {
    1, 2,  // OK, Cancel
    IDC_USE_MODULE, IDC_DONT_USE_MODULE, IDC_ONCE_PER_INTERVAL, IDC_HOUR_COUNT,
    IDC_CLOCK_12, IDC_CLOCK_24, IDC_INTERVAL_LIST, IDC_WAVE_NAME, IDC_BROWSE,
    IDC_TEST_PLAY, IDC_HELP_BUTTON,
};

// Concatenates the pieces into out, all or nothing.
bool Join(std::initializer_list<const char*> pieces, char* out, std::size_t outSize) {
    if (outSize == 0) return false;
    std::size_t total = 0;
    for (const char* piece : pieces) total += std::strlen(piece);
    if (total >= outSize) {
        out[0] = '\0';
        return false;
    }
    char* end = out;
    for (const char* piece : pieces) {
        const std::size_t length = std::strlen(piece);
        std::memmove(end, piece, length);
        end += length;
    }
    *end = '\0';
    return true;
}

}  // namespace

bool HasPopupHelp(int controlId) {
    for (int id : kControlsWithPopupHelp) {
        if (id == controlId) return true;
    }
    return false;
}

bool FormatHelpFilePath(const char* moduleFolder, const char* helpFile, char* out,
                        std::size_t outSize) {
    return Join({moduleFolder, helpFile}, out, outSize);
}

bool FormatPopupSource(const char* moduleFolder, const char* helpFile, char* out,
                       std::size_t outSize) {
    return Join({moduleFolder, helpFile, "::/popup.txt"}, out, outSize);
}

bool FormatChooserFolder(const char* appDataFolder, const char* subFolder, char* out,
                         std::size_t outSize) {
    return Join({appDataFolder, "\\", subFolder}, out, outSize);
}
