// The memory editor against the simulator: going to addresses, the target's byte order, storing
// with the walk on, scrolling at both ends, failing reads, and what the document keeps.
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QtTest/QTest>
#include <array>
#include <numeric>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

    // The row addresses down the grid's side.
    static QStringList rows(const CMemEditDlg& d) {
        QStringList out;
        for (int r = 0; r < d.grid()->rowCount(); ++r)
            out << d.grid()->verticalHeaderItem(r)->text();
        return out;
    }
    // Window entry i, which stands in row i mod 8 and column i / 8; empty when nothing is shown.
    static QString entry(const CMemEditDlg& d, int i) {
        const QTableWidgetItem* cell = d.grid()->item(i % 8, i / 8);
        return cell ? cell->text() : QString();
    }
    // Whether another program could lock COM1 now, as the library does when it opens a port.
    static bool portIsFree() {
        const int fd = ::open(getenv("TOV_COM1"), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }
    static int shownCells(const CMemEditDlg& d) {
        int count = 0;
        for (int r = 0; r < d.grid()->rowCount(); ++r) {
            for (int c = 0; c < d.grid()->columnCount(); ++c)
                count += d.grid()->item(r, c) != nullptr;
        }
        return count;
    }
};

TEST_F(MemoryEditorTest, GoToShowsTheElementAndItsWindowInByteOrder) {
    CMemEditDlg big(2, 0, true);
    big.addressEdit()->setText("12345678");
    big.onGoTo();
    EXPECT_EQ(big.start(), 0x12345670u);
    EXPECT_EQ(big.addressEdit()->text(), "12345678");
    EXPECT_EQ(big.dataEdit()->text().size(), 8);
    EXPECT_EQ(rows(big).first(), " 12345670");
    EXPECT_EQ(rows(big).last(), " 123456E0");
    EXPECT_EQ(shownCells(big), 32);
    EXPECT_EQ(entry(big, 0), " 12345678");
    EXPECT_EQ(big.scrollBar()->value(), 0x12345670 / 42949672);

    CMemEditDlg little(2, 0x12345670, false);
    EXPECT_EQ(entry(little, 0), " 78563412");
    // Long to Word to Byte: 8, then 16 columns, and the data field narrows with the size.
    little.addressEdit()->setText("12345670");
    little.onSize(1);
    EXPECT_EQ(shownCells(little), 64);
    EXPECT_EQ(entry(little, 0), " 3412");
    EXPECT_EQ(entry(little, 8), " 7856");
    // The data field shows the element as the probe reads it.
    uint16_t word = 0;
    ASSERT_EQ(TOV_GetWord(0x12345670, &word), 0);
    EXPECT_EQ(little.dataEdit()->text(), QString("%1").arg(word, 4, 16, QChar('0')).toUpper());
    little.onSize(0);
    EXPECT_EQ(shownCells(little), 128);
    EXPECT_EQ(little.dataEdit()->text(), "12");
    EXPECT_EQ(little.dataEdit()->maxLength(), 2);
    screenshot(little, "memory_editor");
    EXPECT_TRUE(messages.empty());
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
    EXPECT_EQ(rows(dialog).last(), " FFFFFFF0");
    EXPECT_EQ(shownCells(dialog), 0);
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
    bool lockedWhileOpen = false;
    whenShown<CMemEditDlg>([&](CMemEditDlg& d) {
        lockedWhileOpen = !portIsFree();
        check(d, "Byte");
        d.addressEdit()->setText("12345678");
        d.onGoTo();
        d.accept();
    });
    runMemoryEditor(doc, nullptr);
    // The editor's link is closed with it: another program can take the port.
    EXPECT_TRUE(lockedWhileOpen);
    EXPECT_TRUE(portIsFree());
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

// Memory 00..7F at 0 on a target of either byte order.
class MemoryGridTest : public MemoryEditorTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ProbeTest::SetUp();
        sim::SimOptions options;
        options.bigEndian = GetParam();
        startProbe(options);
        ASSERT_EQ(TOV_Connect("COM1 9600"), 0);
        std::array<uint8_t, 128> bytes{};
        std::iota(bytes.begin(), bytes.end(), uint8_t{0});
        ASSERT_EQ(TOV_MemoryWrite(0, 0, bytes.size(), bytes.data()), 0);
    }
};

TEST_P(MemoryGridTest, EveryCellIsDrawnWhereItsAddressSays) {
    const bool big = GetParam();
    CMemEditDlg d(2, 0, big);
    QTableWidget* grid = d.grid();
    const QRect viewport = grid->viewport()->rect();
    const QFontMetrics metrics(grid->font());
    for (const auto& [label, size] : {std::pair{"Byte", 1u}, {"&Word", 2u}, {"&Long", 4u}}) {
        check(d, label);  // checked as the keyboard or a screen reader does, not clicked
        QApplication::processEvents();
        const int columns = static_cast<int>(16 / size);
        ASSERT_EQ(grid->columnCount(), columns) << label;
        screenshot(d, QString("memory_editor_%1_%2")
                          .arg(QString(label).remove('&').toLower(), big ? "be" : "le"));
        for (int r = 0; r < 8; ++r) {
            EXPECT_EQ(grid->verticalHeaderItem(r)->text(),
                      QString(" %1").arg(16 * r, 8, 16, QChar('0')).toUpper());
            for (int c = 0; c < columns; ++c) {
                const uint32_t address =
                    16 * static_cast<uint32_t>(r) + size * static_cast<uint32_t>(c);
                uint32_t value = 0;
                for (uint32_t b = 0; b < size; ++b) {
                    value = value << 8 | (address + (big ? b : size - 1 - b));
                }
                const QTableWidgetItem* cell = grid->item(r, c);
                ASSERT_NE(cell, nullptr) << r << "," << c;
                EXPECT_EQ(
                    cell->text(),
                    QString(" %1").arg(value, static_cast<int>(2 * size), 16, QChar('0')).toUpper())
                    << label << " row " << r << " column " << c;
                // Drawn whole inside the window, in its row beside its row address, and the
                // cell under its own centre.
                const QRect rect = grid->visualItemRect(cell);
                EXPECT_TRUE(viewport.contains(rect)) << label << " " << r << "," << c;
                EXPECT_EQ(grid->itemAt(rect.center()), cell);
                EXPECT_EQ(rect.top(), grid->verticalHeader()->sectionViewportPosition(r));
                EXPECT_GE(rect.width(), metrics.horizontalAdvance(cell->text()));
                EXPECT_GE(rect.height(), metrics.height());
                if (c > 0) {
                    EXPECT_GT(rect.left(), grid->visualItemRect(grid->item(r, c - 1)).left());
                }
            }
        }
        // A click on row 2, column 3 picks that element; a click on a row address its row.
        const QRect cell = grid->visualItemRect(grid->item(2, 3));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(d.addressEdit()->text(),
                  QString("%1").arg(0x20 + 3 * size, 8, 16, QChar('0')).toUpper());
        const QHeaderView* header = grid->verticalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->width() / 2,
                                 header->sectionViewportPosition(5) + header->sectionSize(5) / 2));
        EXPECT_EQ(d.addressEdit()->text(), "00000050");
    }
    EXPECT_TRUE(messages.empty()) << texts().join("; ").toStdString();
}

TEST_P(MemoryGridTest, StoreWritesInTheTargetsOrderAndWalksOn) {
    const bool big = GetParam();
    CMemEditDlg d(1, 0x1000, big);
    d.addressEdit()->setText("1000");
    d.dataEdit()->setText("BEEF");
    d.onStore();
    uint8_t bytes[2] = {};
    ASSERT_EQ(TOV_MemoryRead(0x1000, 0, 2, bytes), 0);
    EXPECT_EQ(bytes[0], big ? 0xBE : 0xEF);
    EXPECT_EQ(bytes[1], big ? 0xEF : 0xBE);
    EXPECT_EQ(d.addressEdit()->text(), "00001002");
    EXPECT_EQ(entry(d, 0), " BEEF");
    // The Long view and its data field agree on the same address.
    d.addressEdit()->setText("1000");
    check(d, "&Long");
    uint32_t value = 0;
    ASSERT_EQ(TOV_GetLong(0x1000, &value), 0);
    EXPECT_EQ(entry(d, 0), QString(" %1").arg(value, 8, 16, QChar('0')).toUpper());
    EXPECT_EQ(d.dataEdit()->text(), QString("%1").arg(value, 8, 16, QChar('0')).toUpper());
    EXPECT_EQ(big ? value >> 16 : value & 0xFFFF, 0xBEEFu);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, MemoryGridTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "BigEndian" : "LittleEndian";
                         });

}  // namespace
}  // namespace tov::setup::test
