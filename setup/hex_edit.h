// A line edit for hexadecimal numbers: drops typed characters that cannot be part of one and
// shows a number with a fixed count of upper-case digits.
#pragma once

#include <QLineEdit>
#include <cstdint>

namespace tov::setup {

class CHexEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CHexEdit(QWidget* parent = nullptr);

    // Shows `value` masked to `digits` (1..8) hex digits with leading zeros and limits the text
    // to that many characters.
    void setNumber(uint32_t value, int digits);
    // The text read as hexadecimal (at most 64 characters, "0x" allowed); 0 when unreadable.
    uint32_t number() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Whether a typed character may go into a hex edit: hex digits, control characters, "." and "-".
bool hexEditAccepts(QChar c);

}  // namespace tov::setup
