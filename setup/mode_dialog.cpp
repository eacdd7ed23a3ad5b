// The working-mode dialog; its transfer runs on a worker thread while the dialog keeps painting.
#include "setup/mode_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "setup/busy_scope.h"
#include "setup/connection_parameters.h"
#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/dialog_widgets.h"
#include "setup/hex_edit.h"
#include "setup/message_box.h"
#include "setup/setup_transfer.h"
#include "setup/value_tables.h"
#include "setup/wait_cursor.h"

namespace tov::setup {
namespace {

constexpr int kWorkspaceDigits = 8;

struct TrapBox {
    const char* label;
    uint32_t bit;
};
// In the order the group shows them; the reserved bit has a box but no binding.
constexpr TrapBox kTrapBoxes[] = {{"FIQ", kTrapFiq},
                                  {"IRQ", kTrapIrq},
                                  {"rsv", kTrapReserved},
                                  {"DABT", kTrapDataAbort},
                                  {"PABT", kTrapPrefetchAbort},
                                  {"SWI", kTrapSwi},
                                  {"UND", kTrapUndefined},
                                  {"RST", kTrapReset}};

int bitIndex(uint32_t bit) {
    int i = 0;
    while ((1u << i) != bit) ++i;
    return i;
}

template <size_t N>
QStringList labelList(const std::array<std::string_view, N>& table) {
    QStringList list;
    for (std::string_view text : table) list << QString::fromLatin1(text.data(), text.size());
    return list;
}

}  // namespace

CModeDlg::CModeDlg(const WorkingMode& values, uint32_t baudIndex, const CCodeList& initList,
                   QWidget* parent)
    : QDialog(parent),
      values_(values),
      baudIndex_(baudIndex),
      initList_(initList),
      setupId_(new QLineEdit),
      startup_(new QButtonGroup(this)),
      breakMode_(new QButtonGroup(this)),
      cpuType_(new QComboBox),
      jtagClock_(new QComboBox),
      workspace_(new CHexEdit),
      runTime_(new QLineEdit),
      bigEndian_(new QCheckBox("Big Endian memory format")),
      status_(new QLabel),
      transmit_(new QPushButton("Transmit")),
      close_(new QPushButton("Close")) {
    setFont(dialogFont());
    setWindowTitle("TOV Working Mode");

    auto* form = new QFormLayout;
    form->addRow("Identification", setupId_);
    cpuType_->addItems(labelList(kCpuTypes));
    jtagClock_->addItems(labelList(kJtagClocks));
    form->addRow("CPU Type", cpuType_);
    form->addRow("JTAG Clock", jtagClock_);
    workspace_->setEnabled(false);
    auto* workspaceRow = new QHBoxLayout;
    workspaceRow->addWidget(workspace_);
    workspaceRow->addWidget(new QLabel("Hex"));
    form->addRow("Workspace", workspaceRow);
    auto* runTimeRow = new QHBoxLayout;
    runTimeRow->addWidget(runTime_);
    runTimeRow->addWidget(new QLabel("ms"));
    form->addRow("Run Time", runTimeRow);
    form->addRow(bigEndian_);

    auto* modes = new QHBoxLayout;
    modes->addWidget(radioGroup("Startup", labelList(kStartupLabels), startup_));
    modes->addWidget(radioGroup("Breakpoint", labelList(kBreakLabels), breakMode_));

    auto* trapBox = new QGroupBox("Trap Exceptions");
    auto* trapGrid = new QGridLayout(trapBox);
    int at = 0;
    for (const TrapBox& t : kTrapBoxes) {
        auto* box = new QCheckBox(t.label);
        box->setEnabled(t.bit != kTrapReserved);
        traps_[static_cast<size_t>(bitIndex(t.bit))] = box;
        trapGrid->addWidget(box, at / 4, at % 4);
        ++at;
    }

    auto* scanBox = new QGroupBox("JTAG Scan Chain");
    auto* scanGrid = new QGridLayout(scanBox);
    QLineEdit* predCount = digitsEdit();
    QLineEdit* predIr = digitsEdit();
    QLineEdit* succCount = digitsEdit();
    QLineEdit* succIr = digitsEdit();
    for (QLineEdit* edit : {predCount, predIr, succCount, succIr}) {
        edit->setAlignment(Qt::AlignCenter);
    }
    scanGrid->addWidget(new QLabel("Predecessor"), 0, 0);
    scanGrid->addWidget(predCount, 0, 1);
    scanGrid->addWidget(new QLabel("IR length"), 0, 2);
    scanGrid->addWidget(predIr, 0, 3);
    scanGrid->addWidget(new QLabel("Successor"), 1, 0);
    scanGrid->addWidget(succCount, 1, 1);
    scanGrid->addWidget(new QLabel("IR length"), 1, 2);
    scanGrid->addWidget(succIr, 1, 3);
    ranged_ = {RangedEdit{runTime_, &WorkingMode::runTime, 100, 32000},
               {predCount, &WorkingMode::scanPredCount, 0, 8},
               {predIr, &WorkingMode::scanPredIrLength, 0, 255},
               {succCount, &WorkingMode::scanSuccCount, 0, 8},
               {succIr, &WorkingMode::scanSuccIrLength, 0, 255}};

    auto* statusBox = new QGroupBox("Status");
    auto* statusLayout = new QVBoxLayout(statusBox);
    statusLayout->addWidget(status_);

    close_->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(close_);
    buttons->addWidget(transmit_);
    buttons->addStretch();
    connect(close_, &QPushButton::clicked, this, &CModeDlg::accept);
    connect(transmit_, &QPushButton::clicked, this, &CModeDlg::onTransmit);

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addLayout(modes);
    left->addWidget(trapBox);
    left->addWidget(scanBox);
    left->addWidget(statusBox);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buttons);
    showValues();
    setStatus({});
    updateRunTimeEnabled();
    // However the choice is made (mouse, arrow keys, accessibility), the newly checked button
    // decides whether Run Time can be edited. Connected after the values are shown, so that
    // showing them takes nothing back.
    connect(startup_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (!checked) return;
        takeValues();
        updateRunTimeEnabled();
    });
}

void CModeDlg::showValues() {
    setupId_->setText(storedToShown(values_.setupId));
    if (QAbstractButton* b = startup_->button(static_cast<int>(values_.startupMode))) {
        b->setChecked(true);
    }
    if (QAbstractButton* b = breakMode_->button(static_cast<int>(values_.breakMode))) {
        b->setChecked(true);
    }
    cpuType_->setCurrentIndex(static_cast<int>(values_.cpuType));
    jtagClock_->setCurrentIndex(static_cast<int>(values_.jtagClock));
    workspace_->setNumber(values_.workspace, kWorkspaceDigits);
    bigEndian_->setChecked(values_.bigEndian != 0);
    for (const TrapBox& t : kTrapBoxes) {
        if (t.bit != kTrapReserved) {
            traps_[static_cast<size_t>(bitIndex(t.bit))]->setChecked(values_.trapMask & t.bit);
        }
    }
    for (const RangedEdit& r : ranged_) r.edit->setText(QString::number(values_.*(r.field)));
}

bool CModeDlg::takeValues() {
    WorkingMode taken = values_;
    taken.setupId = shownToStored(setupId_->text(), values_.setupId);
    if (startup_->checkedId() >= 0)
        taken.startupMode = static_cast<uint32_t>(startup_->checkedId());
    if (breakMode_->checkedId() >= 0)
        taken.breakMode = static_cast<uint32_t>(breakMode_->checkedId());
    if (cpuType_->currentIndex() >= 0)
        taken.cpuType = static_cast<uint32_t>(cpuType_->currentIndex());
    if (jtagClock_->currentIndex() >= 0) {
        taken.jtagClock = static_cast<uint32_t>(jtagClock_->currentIndex());
    }
    taken.workspace = workspace_->number();
    taken.bigEndian = bigEndian_->isChecked() ? 1 : 0;
    // The mask is rebuilt from the seven bound boxes, so the reserved bit ends up clear.
    taken.trapMask = 0;
    for (const TrapBox& t : kTrapBoxes) {
        if (t.bit != kTrapReserved && traps_[static_cast<size_t>(bitIndex(t.bit))]->isChecked()) {
            taken.trapMask |= t.bit;
        }
    }
    for (const RangedEdit& r : ranged_) {
        bool ok = false;
        const qlonglong number = r.edit->text().trimmed().toLongLong(&ok);
        if (!ok || number < r.low || number > r.high) {
            const QString text =
                ok ? QString("Please enter an integer between %1 and %2.").arg(r.low).arg(r.high)
                   : QString("Please enter an integer.");
            showMessage(this, {text, {}, QMessageBox::Warning});
            r.edit->setFocus();
            r.edit->selectAll();
            return false;
        }
        taken.*(r.field) = static_cast<uint32_t>(number);
    }
    values_ = taken;
    return true;
}

void CModeDlg::updateRunTimeEnabled() {
    runTime_->setEnabled(values_.startupMode == 1);
}

QString CModeDlg::statusText() const {
    return status_->text();
}

void CModeDlg::setStatus(const QString& text) {
    status_->setText(text);
}

void CModeDlg::accept() {
    if (busy_ || !takeValues()) return;
    QDialog::accept();
}

void CModeDlg::reject() {
    if (!busy_) QDialog::reject();
}

void CModeDlg::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CModeDlg::onTransmit() {
    if (busy_ || !takeValues()) return;
    if (const std::string why = transferRefusal(baudIndex_, initList_); !why.empty()) {
        showMessage(this, {QString::fromStdString(why), "Error", QMessageBox::Critical});
        return;
    }
    busy_ = true;
    transmit_->setEnabled(false);
    close_->setEnabled(false);
    int32_t result = 0;
    {
        WaitCursor wait;
        const WorkingMode mode = values_;
        const std::string port = connectionParameters();
        // The worker only reads its own copies and the list, which nothing changes meanwhile;
        // the status texts come back to this thread as queued calls.
        result = runOffThread([this, mode, port] {
            return transmitSetup(mode, baudIndex_, initList_, port, [this](const char* text) {
                const QString shown(text);
                QMetaObject::invokeMethod(
                    this, [this, shown] { setStatus(shown); }, Qt::QueuedConnection);
            });
        });
    }
    setStatus(result == 0 ? kStatusPassed : kStatusFailed);
    busy_ = false;
    transmit_->setEnabled(true);
    close_->setEnabled(true);
    if (result != 0) showMessage(this, {kTransferFailed, "Error", QMessageBox::Warning});
}

void runModeDialog(CTovDoc& doc, QWidget* parent) {
    CModeDlg dialog(doc.mode, doc.comm.baudIndex, doc.initList, parent);
    if (dialog.exec() == QDialog::Accepted && !(dialog.values() == doc.mode)) {
        doc.mode = dialog.values();
        doc.setModified();
    }
}

}  // namespace tov::setup
