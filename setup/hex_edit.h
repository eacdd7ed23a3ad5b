// An edit field for hexadecimal numbers: it takes typed hex digits, control characters, "." and
// "-" and drops every other typed character; it shows a number with a fixed digit count.
#pragma once

#include <QLineEdit>
#include <cstdint>

namespace tov::setup {

class CHexEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CHexEdit(QWidget* parent = nullptr);

    // Shows `value` masked to `digits` (1..8) upper-case digits with leading zeros, and limits
    // the text to that many characters.
    void setNumber(uint32_t value, int digits);
    // The text read as hexadecimal (at most 64 characters, "0x" allowed); 0 when unreadable.
    uint32_t number() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tov::setup
