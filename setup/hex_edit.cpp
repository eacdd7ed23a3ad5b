// The hexadecimal edit field.
#include "setup/hex_edit.h"

#include <QKeyEvent>
#include <algorithm>
#include <cctype>

#include "setup/number_text.h"

namespace tov::setup {

CHexEdit::CHexEdit(QWidget* parent) : QLineEdit(parent) {}

void CHexEdit::setNumber(uint32_t value, int digits) {
    digits = std::clamp(digits, 1, 8);
    const uint32_t mask = digits == 8 ? 0xFFFFFFFFu : (1u << (4 * digits)) - 1;
    setMaxLength(digits);
    setText(QString("%1").arg(value & mask, digits, 16, QChar('0')).toUpper());
}

uint32_t CHexEdit::number() const {
    const std::string shown = text().left(64).toStdString();
    return parseHex(shown).value_or(0);
}

void CHexEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    if (typed.size() == 1) {
        const QChar c = typed.at(0);
        const bool wanted = c.unicode() < 0x20 || c == '.' || c == '-' ||
                            (c.unicode() < 0x80 && std::isxdigit(c.toLatin1()));
        if (!wanted) return;  // dropped
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace tov::setup
