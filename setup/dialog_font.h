// The font the setup program's dialogs and editors show their texts in.
#pragma once

#include <QFont>

namespace tov::setup {

// The system's general dialog font (the small sans-serif dialog font of desktop systems).
QFont dialogFont();

}  // namespace tov::setup
