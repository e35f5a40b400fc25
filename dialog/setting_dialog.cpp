#include "dialog/setting_dialog.h"
#include "module/signal_module.h"

int RunSettingDialog(SignalModule& module) {
    module.StopSignalTimer();
    return -1;  // the dialog comes in its own change
}
