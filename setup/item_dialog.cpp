// The item dialog: which fields an item type uses, in which widths.
#include "setup/item_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/dialog_widgets.h"
#include "setup/hex_edit.h"

namespace tov::setup {
namespace {

constexpr int kMaxDialogComment = 256;

int addressDigits(uint32_t type) {
    return type < kWcp15 ? 8 : 4;
}

int valueDigits(uint32_t type) {
    switch (type) {
        case kWm8:
            return 2;
        case kWm16:
            return 4;
        default:
            return 8;
    }
}

bool usesAddressHex(uint32_t type) {
    return type != kDelay && type != kWgpr && type != kWcpsr;
}

QLineEdit* decimalEdit() {
    QLineEdit* edit = digitsEdit();
    edit->setMaxLength(10);
    return edit;
}

uint32_t decimalOf(const QLineEdit* edit) {
    const qulonglong n = edit->text().toULongLong();
    return static_cast<uint32_t>(std::min<qulonglong>(n, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

CItemDlg::CItemDlg(const ItemFields& fields, QWidget* parent)
    : QDialog(parent),
      type_(fields.type < kItemTypeCount ? fields.type : kWm32),
      storedComment_(fields.comment),
      typeCombo_(new QComboBox),
      addressHex_(new CHexEdit),
      registerEdit_(decimalEdit()),
      valueHex_(new CHexEdit),
      msEdit_(decimalEdit()),
      comment_(new QLineEdit),
      addressLabel_(new QLabel),
      valueLabel_(new QLabel) {
    setFont(dialogFont());
    setWindowTitle("Edit Init Line");
    for (std::string_view label : kItemLabels) {
        typeCombo_->addItem(QString::fromLatin1(label.data(), static_cast<int>(label.size())));
    }
    comment_->setMaxLength(kMaxDialogComment);
    comment_->setText(storedToShown(fields.comment).left(kMaxDialogComment));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Action Type"), 0, 0);
    grid->addWidget(typeCombo_, 0, 1, 1, 3);
    grid->addWidget(addressLabel_, 1, 0);
    grid->addWidget(addressHex_, 1, 1);
    grid->addWidget(new QLabel("Hex"), 1, 2);
    grid->addWidget(registerEdit_, 2, 1);
    grid->addWidget(new QLabel("Dec"), 2, 2);
    grid->addWidget(valueLabel_, 3, 0);
    grid->addWidget(valueHex_, 3, 1);
    grid->addWidget(new QLabel("Hex"), 3, 2);
    grid->addWidget(msEdit_, 4, 1);
    grid->addWidget(new QLabel("ms"), 4, 2);
    grid->addWidget(new QLabel("Comment:"), 5, 0);
    grid->addWidget(comment_, 5, 1, 1, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    typeCombo_->setCurrentIndex(static_cast<int>(type_));
    showFields({type_, fields.address, fields.value, fields.comment});
    connect(typeCombo_, &QComboBox::currentIndexChanged, this, &CItemDlg::onTypeChanged);
}

ItemFields CItemDlg::values() const {
    ItemFields f;
    f.type = type_;
    f.address = type_ == kWgpr ? decimalOf(registerEdit_) : addressHex_->number();
    // A delay is kept as typed: no wrapping of long delays.
    f.value = type_ == kDelay ? decimalOf(msEdit_) : valueHex_->number();
    f.comment = shownToStored(comment_->text(), storedComment_);
    return f;
}

void CItemDlg::setType(uint32_t type) {
    typeCombo_->setCurrentIndex(static_cast<int>(type));
}

void CItemDlg::onTypeChanged(int index) {
    if (index < 0) return;
    ItemFields f = values();
    type_ = static_cast<uint32_t>(index);
    f.type = type_;
    showFields(f);
}

void CItemDlg::showFields(const ItemFields& f) {
    const uint32_t t = f.type;
    registerEdit_->setText(t == kWgpr ? QString::number(f.address) : QString());
    if (t == kWgpr) {
        addressHex_->clear();
    } else {
        addressHex_->setNumber(f.address, addressDigits(t));
    }
    msEdit_->setText(t == kDelay ? QString::number(f.value) : QString());
    if (t == kDelay) {
        valueHex_->clear();
    } else {
        valueHex_->setNumber(f.value, valueDigits(t));
    }
    addressHex_->setEnabled(usesAddressHex(t));
    registerEdit_->setEnabled(t == kWgpr);
    valueHex_->setEnabled(t != kDelay);
    msEdit_->setEnabled(t == kDelay);
    addressLabel_->setText(t == kWgpr ? "Register"
                           : (t == kDelay || t == kWcpsr) ? "<not used>"
                                                          : "Address");
    valueLabel_->setText(t == kDelay ? "Delay" : "Value");
}

}  // namespace tov::setup
