// The memory editor against the simulator: going to addresses, the target's byte order, storing
// with the walk on, scrolling at both ends, failing reads, and what the document keeps.
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include "include/tovlink.h"
#include "probe_on_com1.h"
#include "setup/hex_edit.h"
#include "setup/memory_dialog.h"

namespace tov::setup::test {
namespace {

class MemoryEditorTest : public ProbeTest {
protected:
    void SetUp() override {
        ProbeTest::SetUp();
        startProbe();
        ASSERT_EQ(TOV_Connect("COM1 9600"), 0);
        const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
        ASSERT_EQ(TOV_MemoryWrite(0x12345670, 0, 4, bytes), 0);
    }
    void TearDown() override {
        TOV_Close();
        ProbeTest::TearDown();
    }
    static QStringList items(const QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
};

TEST_F(MemoryEditorTest, GoToShowsTheElementAndItsWindowInByteOrder) {
    CMemEditDlg big(2, 0, true);
    big.addressEdit()->setText("12345678");
    big.onGoTo();
    EXPECT_EQ(big.start(), 0x12345670u);
    EXPECT_EQ(big.addressEdit()->text(), "12345678");
    EXPECT_EQ(big.dataEdit()->text().size(), 8);
    EXPECT_EQ(items(big.rowList()).first(), " 12345670");
    EXPECT_EQ(items(big.rowList()).last(), " 123456E0");
    EXPECT_EQ(big.dataList()->count(), 32);
    EXPECT_EQ(big.dataList()->item(0)->text(), " 12345678");
    EXPECT_EQ(big.scrollBar()->value(), 0x12345670 / 42949672);

    CMemEditDlg little(2, 0x12345670, false);
    EXPECT_EQ(little.dataList()->item(0)->text(), " 78563412");
    // Long to Word to Byte: 8, then 16 columns, and the data field narrows with the size.
    little.addressEdit()->setText("12345670");
    little.onSize(1);
    EXPECT_EQ(little.dataList()->count(), 64);
    EXPECT_EQ(little.dataList()->item(0)->text(), " 3412");
    EXPECT_EQ(little.dataList()->item(8)->text(), " 7856");
    // The data field shows the element as the probe reads it.
    uint16_t word = 0;
    ASSERT_EQ(TOV_GetWord(0x12345670, &word), 0);
    EXPECT_EQ(little.dataEdit()->text(), QString("%1").arg(word, 4, 16, QChar('0')).toUpper());
    little.onSize(0);
    EXPECT_EQ(little.dataList()->count(), 128);
    EXPECT_EQ(little.dataEdit()->text(), "12");
    EXPECT_EQ(little.dataEdit()->maxLength(), 2);
    screenshot(little, "memory_editor");
    EXPECT_TRUE(messages.empty());
}

TEST_F(MemoryEditorTest, StoreWritesAndWalksOn) {
    CMemEditDlg dialog(1, 0x1000, true);
    dialog.addressEdit()->setText("1000");
    dialog.dataEdit()->setText("BEEF");
    dialog.onStore();
    uint16_t value = 0;
    ASSERT_EQ(TOV_GetWord(0x1000, &value), 0);
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(dialog.addressEdit()->text(), "00001002");
    EXPECT_EQ(dialog.dataList()->item(0)->text(), " BEEF");
    EXPECT_TRUE(dialog.dataEdit()->hasFocus() || !dialog.isVisible());
}

TEST_F(MemoryEditorTest, ScrollingStopsAtBothEndsAndFailedReadsShowNothing) {
    CMemEditDlg dialog(0, 0, true);
    for (int action : {QAbstractSlider::SliderSingleStepSub, QAbstractSlider::SliderPageStepSub}) {
        dialog.onScrollAction(action);
        EXPECT_EQ(dialog.start(), 0u);
    }
    dialog.onScrollAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dialog.start(), 0x10u);
    dialog.onScrollAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(dialog.start(), 0x90u);
    EXPECT_TRUE(messages.empty());

    // The top of the address space is not mapped on the simulated target: every read fails.
    dialog.addressEdit()->setText("FFFFFFF4");
    dialog.onGoTo();
    EXPECT_EQ(dialog.start(), 0xFFFFFF80u);
    EXPECT_EQ(dialog.addressEdit()->text(), "FFFFFFF4");
    EXPECT_EQ(items(dialog.rowList()).last(), " FFFFFFF0");
    EXPECT_EQ(dialog.dataList()->count(), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().caption, "TOV Error");
    EXPECT_EQ(messages.back().icon, QMessageBox::Warning);
    EXPECT_FALSE(messages.back().text.isEmpty());
    const size_t shown = messages.size();
    for (int action : {QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderPageStepAdd}) {
        dialog.onScrollAction(action);
        EXPECT_EQ(dialog.start(), 0xFFFFFF80u);
    }
    EXPECT_EQ(messages.size(), shown);  // nothing moved, nothing read
    dialog.onScrollAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(dialog.start(), 0xFFFFFF00u);
}

TEST_F(MemoryEditorTest, DocumentKeepsSizeAndStartOnlyFromClose) {
    CTovDoc doc;
    doc.mode.bigEndian = 1;
    whenShown<CMemEditDlg>([](CMemEditDlg& d) {
        check(d, "Byte");
        d.addressEdit()->setText("12345678");
        d.onGoTo();
        d.accept();
    });
    runMemoryEditor(doc, nullptr);
    EXPECT_EQ(doc.memAccessSize, 0u);
    EXPECT_EQ(doc.memAddress, 0x12345670u);
    EXPECT_TRUE(doc.isModified());

    // Escape: the start is kept, the size stays as it was at opening.
    doc.setModified(false);
    whenShown<CMemEditDlg>([](CMemEditDlg& d) {
        check(d, "&Long");
        d.onScrollAction(QAbstractSlider::SliderSingleStepAdd);
        d.reject();
    });
    runMemoryEditor(doc, nullptr);
    EXPECT_EQ(doc.memAccessSize, 0u);
    EXPECT_EQ(doc.memAddress, 0x12345680u);
    EXPECT_TRUE(doc.isModified());

    buildConnectionParameters(1, 0, "");  // COM2: nothing answers
    doc.setModified(false);
    runMemoryEditor(doc, nullptr);
    EXPECT_EQ(texts().last(), "Cannot connect to TOV firmware");
    EXPECT_EQ(messages.back().icon, QMessageBox::Warning);
    EXPECT_FALSE(doc.isModified());
}

}  // namespace
}  // namespace tov::setup::test
