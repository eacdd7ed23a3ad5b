// Conversions between stored texts and dialog fields.
#include "setup/dialog_text.h"

#include "setup/display_text.h"

namespace tov::setup {

QString storedToShown(const std::string& stored) {
    return QString::fromStdString(displayText(stored));
}

std::string shownToStored(const QString& shown, const std::string& stored) {
    if (shown == storedToShown(stored)) return stored;
    return shown.toStdString();
}

}  // namespace tov::setup
