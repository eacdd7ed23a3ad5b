// The memory editor over the library's memory read and the byte, word and long calls.
#include "setup/memory_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
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

QListWidget* fixedList() {
    auto* list = new QListWidget;
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setUniformItemSizes(true);
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setTextElideMode(Qt::ElideNone);
    return list;
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
      rows_(fixedList()),
      list_(fixedList()),
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
    connect(sizes_, &QButtonGroup::idClicked, this, &CMemEditDlg::onSize);

    auto* fields = new QGridLayout;
    fields->addWidget(addressLabel, 0, 0);
    fields->addWidget(address_, 0, 1);
    fields->addWidget(goTo, 0, 2);
    fields->addWidget(dataLabel, 1, 0);
    fields->addWidget(data_, 1, 1);
    fields->addWidget(store, 1, 2);

    auto* lists = new QHBoxLayout;
    lists->setSpacing(0);
    lists->addWidget(rows_);
    lists->addWidget(list_, 1);
    lists->addWidget(scroll_);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(sizeBox);
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(lists);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    const int rowHeight = fontMetrics().height() + 2;
    const int frame = 2 * rows_->frameWidth();
    for (QListWidget* list : {rows_, list_}) list->setFixedHeight(kWindowRows * rowHeight + frame);
    rows_->setFixedWidth(fontMetrics().horizontalAdvance(" 00000000") + 12 + frame);
    // Sixteen byte columns are the widest layout.
    list_->setMinimumWidth(16 * (fontMetrics().horizontalAdvance(" 00") + 10) + frame);
    list_->viewport()->installEventFilter(this);
    rows_->viewport()->installEventFilter(this);
    connect(rows_, &QListWidget::itemClicked, this, &CMemEditDlg::onRowClicked);
    connect(list_, &QListWidget::itemClicked, this, &CMemEditDlg::onEntryClicked);

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
    // The lists' heights hold exactly eight rows; the data list's width is shared by its columns.
    const int columns = static_cast<int>(kRowBytes / elementSize(sizeIndex_));
    const int height = list_->viewport()->height() / static_cast<int>(kWindowRows);
    const int width = list_->viewport()->width() / columns;
    list_->setGridSize(QSize(width, height));
    rows_->setGridSize(QSize(rows_->viewport()->width(), height));
}

bool CMemEditDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize &&
        (watched == list_->viewport() || watched == rows_->viewport())) {
        layOut();
    }
    return QDialog::eventFilter(watched, event);
}

void CMemEditDlg::onRefresh() {
    rows_->clear();
    for (const std::string& row : rowAddresses(start_)) rows_->addItem(QString::fromStdString(row));
    std::array<uint8_t, kWindowBytes> bytes{};
    int32_t rc = 0;
    {
        BusyScope busy(this);
        rc = TOV_MemoryRead(start_, 0, kWindowBytes, bytes.data());
    }
    list_->clear();
    report(rc);
    // After a failed read the buffer holds nothing worth showing.
    if (rc != 0) return;
    for (const std::string& entry : windowEntries(bytes, elementSize(sizeIndex_), bigEndian_)) {
        list_->addItem(QString::fromStdString(entry));
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

void CMemEditDlg::onSize(int index) {
    if (index < 0 || static_cast<uint32_t>(index) == sizeIndex_) return;
    sizeIndex_ = static_cast<uint32_t>(index);
    if (QAbstractButton* radio = sizes_->button(index)) radio->setChecked(true);
    showElement(address_->number());
    layOut();
    onRefresh();
}

void CMemEditDlg::onRowClicked(QListWidgetItem* item) {
    showElement(start_ + kRowBytes * static_cast<uint32_t>(rows_->row(item)));
    rows_->clearSelection();
    address_->setFocus();
}

void CMemEditDlg::onEntryClicked(QListWidgetItem* item) {
    showElement(
        entryAddress(start_, elementSize(sizeIndex_), static_cast<uint32_t>(list_->row(item))));
    list_->clearSelection();
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
    int32_t rc = 0;
    {
        WaitCursor wait;
        rc = TOV_Connect(connectionParameters().c_str());
    }
    if (rc != 0) {
        showMessage(parent, {"Cannot connect to TOV firmware", {}, QMessageBox::Warning});
        return;
    }
    CMemEditDlg dialog(doc.memAccessSize, doc.memAddress, doc.mode.bigEndian != 0, parent);
    dialog.exec();
    if (dialog.resultSizeIndex() != doc.memAccessSize || dialog.start() != doc.memAddress) {
        doc.memAccessSize = dialog.resultSizeIndex();
        doc.memAddress = dialog.start();
        doc.setModified();
    }
}

}  // namespace tov::setup
