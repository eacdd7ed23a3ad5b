// The read-only view of the setup document in the main window.
#include "setup/setup_view.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "setup/code_list.h"
#include "setup/dialog_text.h"
#include "setup/setup_summary.h"

namespace tov::setup {

CSetupView::CSetupView(QWidget* parent)
    : QWidget(parent), mode_(new QFormLayout), initList_(new QTreeWidget) {
    auto* modeBox = new QGroupBox("Working Mode");
    modeBox->setLayout(mode_);
    mode_->setLabelAlignment(Qt::AlignLeft);

    auto* listBox = new QGroupBox("Startup Init List");
    auto* listLayout = new QVBoxLayout(listBox);
    initList_->setColumnCount(4);
    initList_->setHeaderLabels({"Item", "Address", "Value", "Comment"});
    initList_->setRootIsDecorated(false);
    initList_->setUniformRowHeights(true);
    initList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    initList_->setSelectionMode(QAbstractItemView::SingleSelection);
    initList_->header()->setStretchLastSection(true);
    initList_->setToolTip("Double-click to edit the init list");
    listLayout->addWidget(initList_);
    connect(initList_, &QTreeWidget::itemDoubleClicked, this, [this] { emit editInitList(); });
    // Enter on a line opens the editor as a double-click does.
    connect(initList_, &QTreeWidget::itemActivated, this, [this] { emit editInitList(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modeBox);
    layout->addWidget(listBox, 1);
}

void CSetupView::showDocument(const CTovDoc& doc) {
    const std::vector<SummaryLine> lines = modeSummary(doc.mode);
    while (mode_->rowCount() > 0) mode_->removeRow(0);
    for (const SummaryLine& line : lines) {
        auto* shown = new QLabel(QString::fromStdString(line.second));
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        shown->setObjectName(QString::fromStdString(line.first));
        mode_->addRow(QString::fromStdString(line.first) + ":", shown);
    }
    initList_->clear();
    for (size_t i = 0; i < doc.initList.size(); ++i) {
        const QStringList fields = storedToShown(displayLine(doc.initList.at(i))).split('\t');
        initList_->addTopLevelItem(
            new QTreeWidgetItem(fields.mid(0, 3) << fields.mid(3).join('\t')));
    }
    // The first three columns fit their texts with room to spare; the comment takes the rest.
    const int spare = 3 * fontMetrics().averageCharWidth();
    for (int c = 0; c < 3; ++c) {
        initList_->resizeColumnToContents(c);
        initList_->setColumnWidth(c, initList_->columnWidth(c) + spare);
    }
}

QString CSetupView::value(const QString& label) const {
    const auto* shown = findChild<QLabel*>(label);
    return shown ? shown->text() : QString();
}

}  // namespace tov::setup
