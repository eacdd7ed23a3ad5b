// The parts of the Qt module (libtovrdi_qt.so) behind its one exported entry.
#pragma once

#include <string>

class QApplication;

namespace tov::rdi {

class ConfigDialogModel;

// The debugger's own widget application, or one made for the dialog on a platform that was
// found able to show it; null with `why` set when no dialog can be shown in this process.
QApplication* dialogApplication(std::string& why);

// Shows the "TOV Configuration" dialog over the model: 1 confirmed, 0 cancelled, -1 (with
// `why`) when it cannot be shown.
int showConfigDialog(ConfigDialogModel& model, void* parent, std::string& why);

// One pass of the event loop of the process's Qt application, on its own thread only.
void qtEventPass();

}  // namespace tov::rdi
