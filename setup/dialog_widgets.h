// Small widget builders the setup program's dialogs share.
#pragma once

#include <QString>
#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QLineEdit;

namespace tov::setup {

// A titled group of radio buttons, one per label, added to `group` with ids 0, 1, ...; the
// button `checked` (if any) starts checked.
QGroupBox* radioGroup(const QString& title, const QStringList& labels, QButtonGroup* group,
                      int checked = -1);
// A line edit that takes decimal digits only.
QLineEdit* digitsEdit();

}  // namespace tov::setup
