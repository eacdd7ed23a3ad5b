// The communication dialog and its link test over the library's TOV_Open.
#include "setup/comm_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "include/tovlink.h"
#include "setup/busy_scope.h"
#include "setup/connection_parameters.h"
#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/dialog_widgets.h"
#include "setup/message_box.h"
#include "setup/value_tables.h"
#include "setup/wait_cursor.h"

namespace tov::setup {
namespace {

constexpr int kMaxIpLength = 15;

}  // namespace

CCommDlg::CCommDlg(const CommSettings& values, QWidget* parent)
    : QDialog(parent),
      values_(values),
      channels_(new QButtonGroup(this)),
      rates_(new QButtonGroup(this)),
      ipAddress_(new QLineEdit),
      test_(new QPushButton(tr("Test"))) {
    setFont(dialogFont());
    setWindowTitle("Communication Setup");
    QStringList rates;
    for (uint32_t rate : kLineRates) rates << QString::number(rate);
    auto* groups = new QHBoxLayout;
    groups->addWidget(radioGroup("Channel", {"COM1", "COM2", "COM3", "COM4", "Network"}, channels_,
                                 static_cast<int>(values.channel)));
    groups->addWidget(radioGroup("Baudrate", rates, rates_, static_cast<int>(values.baudIndex)));

    ipAddress_->setMaxLength(kMaxIpLength);
    ipAddress_->setText(storedToShown(values.ipAddress).left(kMaxIpLength));
    auto* ipLabel = new QLabel("IP Address:");
    ipLabel->setBuddy(ipAddress_);
    auto* ipRow = new QHBoxLayout;
    ipRow->addWidget(ipLabel);
    ipRow->addWidget(ipAddress_);

    auto* ok = new QPushButton(tr("OK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(test_);
    buttons->addStretch();
    connect(ok, &QPushButton::clicked, this, &CCommDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCommDlg::reject);
    connect(test_, &QPushButton::clicked, this, &CCommDlg::onTest);

    auto* left = new QVBoxLayout;
    left->addLayout(groups);
    left->addLayout(ipRow);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buttons);
}

bool CCommDlg::takeValues() {
    CommSettings taken = values_;
    // A value no radio button shows (channel 5 of a stored setup) stays as it was.
    if (channels_->checkedId() >= 0) taken.channel = static_cast<uint32_t>(channels_->checkedId());
    if (rates_->checkedId() >= 0) taken.baudIndex = static_cast<uint32_t>(rates_->checkedId());
    taken.ipAddress = shownToStored(ipAddress_->text().left(kMaxIpLength), values_.ipAddress);
    if (taken.channel >= kChannelNetwork && TOV_INetAddr(taken.ipAddress.c_str()) == 0xFFFFFFFF) {
        showMessage(this, {"Invalid IP address!", {}, QMessageBox::Warning});
        ipAddress_->setFocus();
        ipAddress_->selectAll();
        return false;
    }
    values_ = taken;
    return true;
}

void CCommDlg::accept() {
    if (takeValues()) QDialog::accept();
}

void CCommDlg::onTest() {
    if (!takeValues()) return;
    int32_t result = 0;
    {
        // A port where nothing answers takes seconds; the dialog repaints and takes no input
        // meanwhile.
        BusyScope busy(this);
        buildConnectionParameters(values_.channel, values_.baudIndex, values_.ipAddress);
        const std::string port = connectionParameters();
        result = runOffThread([&port] {
            const int32_t rc = TOV_Open(port.c_str());
            if (rc == 0) TOV_Close();
            return rc;
        });
    }
    if (result == 0) {
        showMessage(this, {"Link to TOV successful tested!", "Communication Test",
                           QMessageBox::Information});
    } else {
        showMessage(this, {QString("Link test failed with error %1").arg(result),
                           "Communication Test", QMessageBox::Warning});
    }
}

void runCommunicationDialog(CTovDoc& doc, QWidget* parent) {
    CCommDlg dialog(doc.comm, parent);
    if (dialog.exec() == QDialog::Accepted && !(dialog.values() == doc.comm)) {
        doc.comm = dialog.values();
        doc.setModified();
    }
    doc.rebuildConnectionParameters();
}

}  // namespace tov::setup
