// The About box.
#include "setup/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "setup/dialog_font.h"
#include "setup/program_icon.h"
#include "setup/tov_doc.h"

namespace tov::setup {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setFont(dialogFont());
    setWindowTitle("About TOV-Setup");
    auto* icon = new QLabel;
    icon->setPixmap(programIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(kAppTitle));
    texts->addWidget(new QLabel("Version 1.00"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tov::setup
