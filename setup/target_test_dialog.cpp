// The target test dialog over the library's connect, information, state, halt and reset calls.
#include "setup/target_test_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "include/tovlink.h"
#include "setup/busy_scope.h"
#include "setup/connection_parameters.h"
#include "setup/dialog_font.h"
#include "setup/target_texts.h"

namespace tov::setup {
namespace {

constexpr uint16_t kStateRoom = 10;
constexpr uint16_t kStateReady = 1;
constexpr uint16_t kStateRunning = 2;

// Draws a line's text after its tab at a fixed column, as a list box with tab stops does.
class TabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString full = index.data().toString();
        const qsizetype tab = full.indexOf('\t');
        if (tab < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem head = option;
        initStyleOption(&head, index);
        head.text = full.left(tab);
        QStyle* style = head.widget ? head.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &head, painter, head.widget);
        // One column for all lines, past the longest label.
        const int column = option.fontMetrics.horizontalAdvance("- Program Counter:") +
                           3 * option.fontMetrics.averageCharWidth();
        QRect rest = option.rect.adjusted(column, 0, 0, 0);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(rest, Qt::AlignLeft | Qt::AlignVCenter, full.mid(tab + 1));
        painter->restore();
    }
};

QString text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}

}  // namespace

CTargetTestDlg::CTargetTestDlg(QWidget* parent)
    : QDialog(parent),
      progress_(new QListWidget),
      info_(new QLabel),
      start_(new QPushButton("&Start")),
      reset_(new QPushButton("&Reset Target")) {
    setFont(dialogFont());
    setWindowTitle("BDM Link Test");
    progress_->setMinimumSize(360, 220);
    progress_->setItemDelegate(new TabStopDelegate(progress_));
    info_->setText(QString());
    auto* close = new QPushButton("Close");
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &CTargetTestDlg::onStart);
    connect(reset_, &QPushButton::clicked, this, &CTargetTestDlg::onResetTarget);
    connect(close, &QPushButton::clicked, this, &CTargetTestDlg::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(reset_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* left = new QVBoxLayout;
    left->addWidget(progress_);
    left->addWidget(info_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buttons);
}

QStringList CTargetTestDlg::lines() const {
    QStringList out;
    for (int i = 0; i < progress_->count(); ++i) out << progress_->item(i)->text();
    return out;
}

void CTargetTestDlg::addLine(const QString& line) {
    auto* item = new QListWidgetItem(line, progress_);
    // Selected and deselected again: the list scrolls to the new line.
    item->setSelected(true);
    progress_->scrollToItem(item);
    item->setSelected(false);
    BusyScope::pump();
}

template <typename Call>
bool CTargetTestDlg::step(const QString& stepText, Call&& call) {
    addLine(stepText + " ...");
    // Each call runs off the window's thread: a probe that does not answer takes seconds.
    const bool passed = runOffThread(std::forward<Call>(call)) == 0;
    delete progress_->takeItem(progress_->count() - 1);
    addLine(stepText + (passed ? " passed" : " failed"));
    return passed;
}

void CTargetTestDlg::begin() {
    info_->setText(QString());
    progress_->clear();
}

void CTargetTestDlg::onStart() {
    if (busy_) return;
    BusyFlag flag(busy_);
    begin();
    TargetStateReport report;
    bool failed = true;
    {
        BusyScope busy(this);
        const auto readState = [&report] {
            uint32_t values[kStateRoom] = {};
            uint16_t count = kStateRoom;
            const int32_t rc =
                TOV_StateGet(&report.state, &report.error, &report.value, &count, values);
            report.values.assign(values, values + std::min<uint16_t>(count, kStateRoom));
            return rc;
        };
        TargetInfo info{};
        if (step("Connecting to TOV firmware",
                 [] { return TOV_Connect(connectionParameters().c_str()); }) &&
            step("Reading TOV information", [&info] { return TOV_InfoGet(&info); })) {
            addLine(text(firmwareLine(info.family, info.version)));
            addLine(text(cpuTypeLine(info.cpuType)));
            addLine(QString("- Setup ID:\t") + QString::fromLocal8Bit(info.setupId));
            for (const std::string& line : setupTimeLines(info.setupTime)) addLine(text(line));
            if (step("Reading target state", readState) &&
                (report.state != kStateRunning ||
                 (step("Halting target ", [] { return TOV_TargetHalt(); }) &&
                  step("Reading target state", readState)))) {
                for (const std::string& line : stateLines(report, TOV_ErrorTextGet)) {
                    addLine(text(line));
                }
                if (report.state != kStateReady) addLine("### invalid target state");
                failed = false;
            }
        }
        runOffThread([] { return TOV_Disconnect(); });
    }
    if (!failed && report.state == kStateReady) addLine("All tests successfully passed");
}

void CTargetTestDlg::onResetTarget() {
    if (busy_) return;
    BusyFlag flag(busy_);
    begin();
    BusyScope busy(this);
    if (step("Connecting to TOV firmware",
             [] { return TOV_Connect(connectionParameters().c_str()); })) {
        step("Reseting target", [] { return TOV_TargetReset(); });
    }
    TOV_Disconnect();
}

void CTargetTestDlg::reject() {
    if (!busy_) QDialog::reject();
}

void runTargetTestDialog(QWidget* parent) {
    CTargetTestDlg dialog(parent);
    dialog.exec();
}

}  // namespace tov::setup
