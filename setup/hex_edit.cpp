// The hexadecimal line edit.
#include "setup/hex_edit.h"

#include <QKeyEvent>
#include <algorithm>

#include "setup/number_text.h"

namespace tov::setup {

bool hexEditAccepts(QChar c) {
    return c.unicode() < 0x20 || c == '.' || c == '-' || (c >= '0' && c <= '9') ||
           (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

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
    for (QChar c : typed) {
        if (!hexEditAccepts(c)) {
            event->accept();  // swallowed: the character never reaches the text
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace tov::setup
