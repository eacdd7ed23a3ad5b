// The program's icon and the other resources it ships with (icon, help page).
#pragma once

#include <QIcon>

namespace tov::setup {

// Registers the program's resources; harmless to call again.
void ensureResources();
QIcon programIcon();

}  // namespace tov::setup
