// "Edit Target Memory": a window of 128 bytes of target memory as bytes, words or longs, with an
// address and a data field to go to an address and to store a value.
#pragma once

#include <QDialog>
#include <cstdint>

#include "setup/tov_doc.h"

class QButtonGroup;
class QListWidget;
class QListWidgetItem;
class QScrollBar;

namespace tov::setup {

class CHexEdit;

class CMemEditDlg : public QDialog {
    Q_OBJECT
public:
    CMemEditDlg(uint32_t sizeIndex, uint32_t start, bool bigEndian, QWidget* parent = nullptr);

    uint32_t sizeIndex() const { return sizeIndex_; }
    uint32_t start() const { return start_; }
    // The size index the dialog ends with: the radio buttons' after Close, the opening one after
    // Escape.
    uint32_t resultSizeIndex() const { return resultSizeIndex_; }
    CHexEdit* addressEdit() const { return address_; }
    CHexEdit* dataEdit() const { return data_; }
    QListWidget* rowList() const { return rows_; }
    QListWidget* dataList() const { return list_; }
    QScrollBar* scrollBar() const { return scroll_; }

public slots:
    void onGoTo();
    void onStore();
    void onRefresh();
    void onSize(int index);
    // Scroll bar actions (QAbstractSlider::SliderAction) and the thumb's release.
    void onScrollAction(int action);
    void onThumbReleased();
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showElement(uint32_t address);
    void moveTo(uint32_t start);
    void layOut();
    // A failing probe call: its error text in a "TOV Error" box.
    void report(int32_t code);
    void onRowClicked(QListWidgetItem* item);
    void onEntryClicked(QListWidgetItem* item);

    uint32_t sizeIndex_;
    uint32_t resultSizeIndex_;
    uint32_t start_;
    bool bigEndian_;
    CHexEdit* address_;
    CHexEdit* data_;
    QListWidget* rows_;
    QListWidget* list_;
    QScrollBar* scroll_;
    QButtonGroup* sizes_;
};

// The edit command: connects to the probe's firmware ("Cannot connect to TOV firmware" when it
// cannot), runs the dialog, and keeps its access size and start address in the document. The
// connection stays open.
void runMemoryEditor(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
