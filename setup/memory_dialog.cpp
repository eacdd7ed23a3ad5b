// The memory editor over the library's memory read and the byte, word and long calls.
#include "setup/memory_dialog.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>

#include "include/tovlink.h"
#include "setup/busy_scope.h"
#include "setup/connection_parameters.h"
#include "setup/dialog_font.h"
#include "setup/hex_edit.h"
#include "setup/memory_window.h"
#include "setup/message_box.h"
#include "setup/wait_cursor.h"

namespace tov::setup {
namespace {

// The window's grid: fixed rows and columns that share the width, no scrolling of its own (the
// dialog's scroll bar moves the window through the address space), read-only cells.
QTableWidget* windowGrid() {
    auto* grid = new QTableWidget(static_cast<int>(kWindowRows), static_cast<int>(kRowBytes));
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setWordWrap(false);
    grid->setShowGrid(false);
    grid->setCornerButtonEnabled(false);
    grid->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    grid->horizontalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->horizontalHeader()->setMinimumSectionSize(1);
    QHeaderView* rows = grid->verticalHeader();
    rows->setFont(grid->font());
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setSectionsClickable(true);
    rows->setHighlightSections(false);
    const int rowHeight = QFontMetrics(grid->font()).height() + 6;
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    return grid;
}

// Reads one element of `size` bytes; 0 or the call's code.
int32_t readElement(uint32_t address, uint32_t size, uint32_t& value) {
    int32_t rc = 0;
    if (size == 1) {
        uint8_t v = 0;
        rc = TOV_GetByte(address, &v);
        value = v;
    } else if (size == 2) {
        uint16_t v = 0;
        rc = TOV_GetWord(address, &v);
        value = v;
    } else {
        rc = TOV_GetLong(address, &value);
    }
    return rc;
}

int32_t writeElement(uint32_t address, uint32_t size, uint32_t value) {
    if (size == 1) return TOV_SetByte(address, static_cast<uint8_t>(value));
    if (size == 2) return TOV_SetWord(address, static_cast<uint16_t>(value));
    return TOV_SetLong(address, value);
}

}  // namespace

CMemEditDlg::CMemEditDlg(uint32_t sizeIndex, uint32_t start, bool bigEndian, QWidget* parent)
    : QDialog(parent),
      sizeIndex_(sizeIndex > 2 ? 2 : sizeIndex),
      resultSizeIndex_(sizeIndex),
      start_(start),
      bigEndian_(bigEndian),
      address_(new CHexEdit),
      data_(new CHexEdit),
      grid_(windowGrid()),
      scroll_(new QScrollBar(Qt::Vertical)),
      sizes_(new QButtonGroup(this)) {
    setFont(dialogFont());
    setWindowTitle("Edit Target Memory");

    auto* addressLabel = new QLabel("&Address:");
    addressLabel->setBuddy(address_);
    auto* dataLabel = new QLabel("&Data:");
    dataLabel->setBuddy(data_);
    auto* goTo = new QPushButton("&Go to");
    auto* store = new QPushButton("&Store");
    auto* refresh = new QPushButton("&Refresh");
    auto* close = new QPushButton("Close");
    store->setDefault(true);
    connect(goTo, &QPushButton::clicked, this, &CMemEditDlg::onGoTo);
    connect(store, &QPushButton::clicked, this, &CMemEditDlg::onStore);
    connect(refresh, &QPushButton::clicked, this, &CMemEditDlg::onRefresh);
    connect(close, &QPushButton::clicked, this, &CMemEditDlg::accept);

    auto* sizeBox = new QGroupBox("Size");
    auto* sizeLayout = new QVBoxLayout(sizeBox);
    const std::array<const char*, 3> sizeLabels = {"Byte", "&Word", "&Long"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(sizeLabels[static_cast<size_t>(i)]);
        sizes_->addButton(radio, i);
        sizeLayout->addWidget(radio);
        radio->setChecked(static_cast<uint32_t>(i) == sizeIndex_);
    }
    connect(sizes_, &QButtonGroup::idToggled, this, &CMemEditDlg::onSizeToggled);

    auto* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1);
    fields->addWidget(goTo, 0, 2);
    fields->addWidget(dataLabel, 1, 0);
    fields->addWidget(data_, 1, 1);
    fields->addWidget(store, 1, 2);

    auto* window = new QHBoxLayout;
    window->setSpacing(0);
    window->addWidget(grid_, 1);
    window->addWidget(scroll_);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(sizeBox);
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(window);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    // Exactly eight rows high; wide enough for sixteen byte cells, the widest layout.
    const QFontMetrics cells(grid_->font());
    const int frame = 2 * grid_->frameWidth();
    grid_->setFixedHeight(
        static_cast<int>(kWindowRows) * grid_->verticalHeader()->defaultSectionSize() + frame);
    grid_->verticalHeader()->setFixedWidth(cells.horizontalAdvance(" 00000000 ") + 8);
    grid_->setMinimumWidth(grid_->verticalHeader()->width() +
                           static_cast<int>(kRowBytes) * (cells.horizontalAdvance(" 00") + 8) +
                           frame);
    scroll_->setFixedHeight(grid_->height());
    connect(grid_->verticalHeader(), &QHeaderView::sectionClicked, this,
            &CMemEditDlg::onRowClicked);
    connect(grid_, &QTableWidget::cellClicked, this, &CMemEditDlg::onCellClicked);
    // Enter on the current cell picks it as a click does.
    connect(grid_, &QTableWidget::cellActivated, this, &CMemEditDlg::onCellClicked);

    scroll_->setRange(0, kScrollMaximum);
    scroll_->setPageStep(1);
    connect(scroll_, &QScrollBar::actionTriggered, this, &CMemEditDlg::onScrollAction);
    connect(scroll_, &QScrollBar::sliderReleased, this, &CMemEditDlg::onThumbReleased);

    showElement(start_);
    scroll_->setValue(scrollPosition(start_));
    layOut();
    onRefresh();
}

void CMemEditDlg::report(int32_t code) {
    if (code == 0) return;
    showMessage(
        this, {QString::fromLocal8Bit(TOV_ErrorTextGet(code)), "TOV Error", QMessageBox::Warning});
}

void CMemEditDlg::showElement(uint32_t address) {
    const uint32_t size = elementSize(sizeIndex_);
    address_->setNumber(address, 8);
    uint32_t value = 0;
    const int32_t rc = readElement(address, size, value);
    report(rc);
    data_->setNumber(value, static_cast<int>(2 * size));
}

void CMemEditDlg::layOut() {
    grid_->setColumnCount(static_cast<int>(kRowBytes / elementSize(sizeIndex_)));
}

void CMemEditDlg::onRefresh() {
    const std::vector<std::string> rows = rowAddresses(start_);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        grid_->setVerticalHeaderItem(
            r, new QTableWidgetItem(QString::fromStdString(rows[static_cast<size_t>(r)])));
    }
    std::array<uint8_t, kWindowBytes> bytes{};
    int32_t rc = 0;
    {
        BusyScope busy(this);
        rc = TOV_MemoryRead(start_, 0, kWindowBytes, bytes.data());
    }
    grid_->clearContents();
    report(rc);
    // After a failed read the buffer holds nothing worth showing.
    if (rc != 0) return;
    // Entry i stands in row i mod 8 and column i / 8.
    const std::vector<std::string> entries =
        windowEntries(bytes, elementSize(sizeIndex_), bigEndian_);
    for (size_t i = 0; i < entries.size(); ++i) {
        auto* cell = new QTableWidgetItem(QString::fromStdString(entries[i]));
        cell->setTextAlignment(Qt::AlignCenter);
        grid_->setItem(static_cast<int>(i % kWindowRows), static_cast<int>(i / kWindowRows), cell);
    }
}

void CMemEditDlg::moveTo(uint32_t start) {
    if (start == start_) return;
    start_ = start;
    onRefresh();
    scroll_->setValue(scrollPosition(start_));
}

void CMemEditDlg::onGoTo() {
    const uint32_t address = address_->number();
    showElement(address);
    moveTo(windowStartFor(address));
}

void CMemEditDlg::onStore() {
    const uint32_t address = address_->number();
    const uint32_t value = data_->number();
    const uint32_t size = elementSize(sizeIndex_);
    int32_t rc = 0;
    {
        WaitCursor wait;
        rc = writeElement(address, size, value);
    }
    report(rc);
    onRefresh();
    showElement(address + size);
    data_->setFocus();
}

void CMemEditDlg::onSizeToggled(int index, bool checked) {
    if (checked) onSize(index);
}

void CMemEditDlg::onSize(int index) {
    if (index < 0 || static_cast<uint32_t>(index) == sizeIndex_) return;
    sizeIndex_ = static_cast<uint32_t>(index);
    if (QAbstractButton* radio = sizes_->button(index)) radio->setChecked(true);
    showElement(address_->number());
    layOut();
    onRefresh();
}

void CMemEditDlg::onRowClicked(int row) {
    if (row < 0 || row >= static_cast<int>(kWindowRows)) return;
    showElement(start_ + kRowBytes * static_cast<uint32_t>(row));
    address_->setFocus();
}

void CMemEditDlg::onCellClicked(int row, int column) {
    const uint32_t size = elementSize(sizeIndex_);
    if (row < 0 || row >= static_cast<int>(kWindowRows) || column < 0 ||
        column >= static_cast<int>(kRowBytes / size)) {
        return;
    }
    showElement(entryAddress(
        start_, size, static_cast<uint32_t>(column) * kWindowRows + static_cast<uint32_t>(row)));
    data_->setFocus();
}

void CMemEditDlg::onScrollAction(int action) {
    uint32_t next = start_;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            next = lineUp(start_);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            next = lineDown(start_);
            break;
        case QAbstractSlider::SliderPageStepSub:
            next = pageUp(start_);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            next = pageDown(start_);
            break;
        case QAbstractSlider::SliderMove:
            return;  // the thumb follows the mouse; the window moves when it is released
        default:
            break;
    }
    // The bar moves by the window's rules, not by its own steps.
    scroll_->setSliderPosition(scrollPosition(next));
    moveTo(next);
}

void CMemEditDlg::onThumbReleased() {
    const uint32_t next = thumbReleased(start_, scroll_->sliderPosition());
    moveTo(next);
    scroll_->setValue(scrollPosition(start_));
}

void CMemEditDlg::accept() {
    if (sizes_->checkedId() >= 0) resultSizeIndex_ = static_cast<uint32_t>(sizes_->checkedId());
    QDialog::accept();
}

void runMemoryEditor(CTovDoc& doc, QWidget* parent) {
    // Opening a port where nothing answers takes seconds: the window repaints meanwhile.
    const std::string port = connectionParameters();
    int32_t rc = 0;
    {
        WaitCursor wait;
        rc = runOffThread([&port] { return TOV_Connect(port.c_str()); });
    }
    if (rc != 0) {
        showMessage(parent, {"Cannot connect to TOV firmware", {}, QMessageBox::Warning});
        return;
    }
    CMemEditDlg dialog(doc.memAccessSize, doc.memAddress, doc.mode.bigEndian != 0, parent);
    dialog.exec();
    // The port is locked while the link is open; the editor reconnects in well under a second.
    TOV_Close();
    if (dialog.resultSizeIndex() != doc.memAccessSize || dialog.start() != doc.memAddress) {
        doc.memAccessSize = dialog.resultSizeIndex();
        doc.memAddress = dialog.start();
        doc.setModified();
    }
}

}  // namespace tov::setup
