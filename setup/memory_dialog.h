// "Edit Target Memory": a window of 128 bytes of target memory as bytes, words or longs, with an
// address and a data field to go to an address and to store a value.
#pragma once

#include <QDialog>
#include <cstdint>

#include "setup/tov_doc.h"

class QButtonGroup;
class QScrollBar;
class QTableWidget;

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
    // The window: 8 rows of 16 / size cells, each row headed by its start address.
    QTableWidget* grid() const { return grid_; }
    QScrollBar* scrollBar() const { return scroll_; }

public slots:
    void onGoTo();
    void onStore();
    void onRefresh();
    void onSize(int index);
    // A size radio button checked or unchecked, by mouse, keyboard or accessibility.
    void onSizeToggled(int index, bool checked);
    // Scroll bar actions (QAbstractSlider::SliderAction) and the thumb's release.
    void onScrollAction(int action);
    void onThumbReleased();
    void accept() override;

private:
    void showElement(uint32_t address);
    void moveTo(uint32_t start);
    // Gives the grid the columns of the current size.
    void layOut();
    // A failing probe call: its error text in a "TOV Error" box.
    void report(int32_t code);
    void onRowClicked(int row);
    void onCellClicked(int row, int column);

    uint32_t sizeIndex_;
    uint32_t resultSizeIndex_;
    uint32_t start_;
    bool bigEndian_;
    CHexEdit* address_;
    CHexEdit* data_;
    QTableWidget* grid_;
    QScrollBar* scroll_;
    QButtonGroup* sizes_;
};

// The edit command: connects to the probe's firmware ("Cannot connect to TOV firmware" when it
// cannot), runs the dialog, and keeps its access size and start address in the document. The
// link is closed when the dialog ends, so the port is free for other programs.
void runMemoryEditor(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
