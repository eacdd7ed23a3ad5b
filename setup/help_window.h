// The help page that ships with the program, shown in its own window.
#pragma once

class QWidget;

namespace tov::setup {

// Opens (or raises) the help window.
void showHelpWindow(QWidget* parent);

}  // namespace tov::setup
