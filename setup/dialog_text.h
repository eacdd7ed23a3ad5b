// Stored texts in dialog fields: shown as UTF-8 (or Windows-1252 when they are not UTF-8),
// and kept byte for byte when the user left them as shown.
#pragma once

#include <QString>
#include <string>

namespace tov::setup {

QString storedToShown(const std::string& stored);
// The bytes to store for a field's text: the old bytes when the text still shows them.
std::string shownToStored(const QString& shown, const std::string& stored);

}  // namespace tov::setup
