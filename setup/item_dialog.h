// "Edit Init Line": one init item's type, address or register, value or delay, and comment.
#pragma once

#include <QDialog>

#include "setup/code_list.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tov::setup {

class CHexEdit;

class CItemDlg : public QDialog {
    Q_OBJECT
public:
    // Starts from the item's fields (the comment as stored bytes).
    explicit CItemDlg(const ItemFields& fields, QWidget* parent = nullptr);
    // The values the controls hold now, as the item takes them.
    ItemFields values() const;
    // Switches the type as the combo box does: the values shown again in the new widths.
    void setType(uint32_t type);

private:
    void showFields(const ItemFields& fields);
    void onTypeChanged(int index);

    uint32_t type_;
    std::string storedComment_;
    QComboBox* typeCombo_;
    CHexEdit* addressHex_;
    QLineEdit* registerEdit_;
    CHexEdit* valueHex_;
    QLineEdit* msEdit_;
    QLineEdit* comment_;
    QLabel* addressLabel_;
    QLabel* valueLabel_;
};

}  // namespace tov::setup
