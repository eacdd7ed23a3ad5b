// The dialogs' font.
#include "setup/dialog_font.h"

#include <QFontDatabase>

namespace tov::setup {

QFont dialogFont() {
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

}  // namespace tov::setup
