#pragma once
// Which dialog controls have pop-up help, and the texts the dialog services hand to the
// help library, the file chooser and the loader, built into fixed-size buffers. No Windows
// headers, so the rules are tested natively.
#include <cstddef>

// True for the controls that have a topic in the help file's popup.txt.
bool HasPopupHelp(int controlId);

// Each builder writes its text into `out` (outSize bytes, terminator included) and returns
// true, or, when the text does not fit, leaves `out` empty and returns false: a cut path
// would name another file or folder.

// "<moduleFolder><helpFile>": the help file beside the module. moduleFolder ends in '\'.
bool FormatHelpFilePath(const char* moduleFolder, const char* helpFile, char* out,
                        std::size_t outSize);
// "<moduleFolder><helpFile>::/popup.txt": the pop-up topics inside the help file.
bool FormatPopupSource(const char* moduleFolder, const char* helpFile, char* out,
                       std::size_t outSize);
// "<appDataFolder>\<subFolder>": where the file chooser starts.
bool FormatChooserFolder(const char* appDataFolder, const char* subFolder, char* out,
                         std::size_t outSize);
