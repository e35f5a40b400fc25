#include "dialog/dialog_services.h"

INT_PTR OnHelp(HWND, HINSTANCE, const HELPINFO*) { return 0; }
int OpenHelpFile(HWND, HINSTANCE) { return 1; }
int TestPlay(HWND) { return 1; }
int ChooseWaveFile(HWND, HINSTANCE) { return 1; }
