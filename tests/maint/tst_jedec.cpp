// Reading fuse rows from JEDEC files, and the UES texts and bit texts of the logic device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "maint/jedec_reader.h"
#include "maint/logic_geometry.h"
#include "maint/ues.h"
#include "tests/maint/logic_test_files.h"
#include "tests/support/jedec_file.h"

namespace tov::maint {
namespace {

using test::fuseLines;
using test::fuseRows;
using test::JedecDir;
using test::JedecFrame;
using test::jedecText;

JedecLayout layout(ProbeModel model, size_t lineLimit) {
    const LogicGeometry g = logicGeometry(model);
    return {g.rows, g.rowLength, g.linesPerRow, lineLimit, model == ProbeModel::A};
}

JedecLayout small(size_t rows, size_t rowLength, size_t linesPerRow, size_t lineLimit = 99) {
    return {rows, rowLength, linesPerRow, lineLimit, false};
}

TEST(JedecReader, ReadsEveryModelsRowsFromAWholeFile) {
    JedecDir dir;
    for (ProbeModel model : {ProbeModel::X, ProbeModel::B, ProbeModel::BC, ProbeModel::A}) {
        const LogicGeometry g = logicGeometry(model);
        const auto rows = fuseRows(g.rows, g.rowLength, static_cast<uint32_t>(model) + 7);
        const std::string path = dir.write("fuses.jed", jedecText(fuseLines(rows, g.linesPerRow)));
        std::vector<std::string> read;
        ASSERT_EQ(readJedecRows(path, layout(model, 99), read), JedecError::kNone)
            << static_cast<int>(model);
        EXPECT_EQ(read, rows);
    }
}

TEST(JedecReader, SixtyCharacterLinesMakeRowsOf240AndOneShortLineFails) {
    JedecDir dir;
    const auto rows = fuseRows(134, 240, 3);
    auto lines = fuseLines(rows, 4);
    ASSERT_EQ(lines[0].size(), 60u);
    std::vector<std::string> read;
    EXPECT_EQ(
        readJedecRows(dir.write("good.jed", jedecText(lines)), layout(ProbeModel::B, 99), read),
        JedecError::kNone);
    EXPECT_EQ(read, rows);

    lines[4 * 70 + 2].pop_back();  // one line of 59 in row 70
    EXPECT_EQ(
        readJedecRows(dir.write("short.jed", jedecText(lines)), layout(ProbeModel::B, 99), read),
        JedecError::kWrongRowLength);
    EXPECT_TRUE(read.empty());

    lines[4 * 70 + 2] += "11";  // 61: one fuse too many is as wrong as one too few
    EXPECT_EQ(
        readJedecRows(dir.write("long.jed", jedecText(lines)), layout(ProbeModel::B, 99), read),
        JedecError::kWrongRowLength);
}

TEST(JedecReader, OnlyTheLeadingRunOfFusesCounts) {
    JedecDir dir;
    // Rows of 8 from 3 lines: a blank-led line adds nothing, a run ends at any other character.
    const std::vector<std::string> lines = {
        "0101*",    "  1111", "1100 11",  // row 0: 0101 + nothing + 1100
        "11110000", "",       "2111",     // row 1: all in the first line
    };
    std::vector<std::string> read;
    ASSERT_EQ(readJedecRows(dir.write("runs.jed", jedecText(lines)), small(2, 8, 3), read),
              JedecError::kNone);
    EXPECT_EQ(read, (std::vector<std::string>{"01011100", "11110000"}));

    // A blank-led line that should have carried half of a TOV-X row leaves the row short.
    auto xLines = fuseLines(fuseRows(102, 80, 5), 2);
    xLines[9] = " " + xLines[9];
    EXPECT_EQ(
        readJedecRows(dir.write("blank.jed", jedecText(xLines)), layout(ProbeModel::X, 99), read),
        JedecError::kWrongRowLength);
}

TEST(JedecReader, TellsTheFileErrorsApart) {
    JedecDir dir;
    const auto lines = fuseLines(fuseRows(118, 160, 9), 4);
    std::vector<std::string> read;
    EXPECT_EQ(readJedecRows(dir.file("absent.jed"), layout(ProbeModel::A, 79), read),
              JedecError::kCannotOpen);

    JedecFrame noList;
    noList.startLine = "*L00001";
    EXPECT_EQ(readJedecRows(dir.write("nolist.jed", jedecText(lines, noList)),
                            layout(ProbeModel::A, 79), read),
              JedecError::kNoFuseList);

    // The file ends inside the last row.
    std::vector<std::string> cut(lines.begin(), lines.end() - 1);
    JedecFrame bare;
    bare.withTrailer = false;
    EXPECT_EQ(
        readJedecRows(dir.write("cut.jed", jedecText(cut, bare)), layout(ProbeModel::A, 79), read),
        JedecError::kWrongRowLength);
    EXPECT_TRUE(read.empty());
}

TEST(JedecReader, StartLineIsWholeExceptOnTheTovA) {
    JedecDir dir;
    const auto rows = fuseRows(118, 160, 11);
    JedecFrame trailing;
    trailing.startLine = "*L00000 fuse list";
    const std::string path = dir.write("start.jed", jedecText(fuseLines(rows, 4), trailing));
    std::vector<std::string> read;
    EXPECT_EQ(readJedecRows(path, layout(ProbeModel::A, 79), read), JedecError::kNone);
    EXPECT_EQ(read, rows);
    JedecLayout whole = layout(ProbeModel::A, 79);
    whole.startByPrefix = false;
    EXPECT_EQ(readJedecRows(path, whole, read), JedecError::kNoFuseList);

    // Lines ended by CR LF still hold the whole "*L00000" line.
    JedecFrame dos;
    dos.lineEnd = "\r\n";
    const auto bRows = fuseRows(134, 240, 12);
    EXPECT_EQ(readJedecRows(dir.write("dos.jed", jedecText(fuseLines(bRows, 4), dos)),
                            layout(ProbeModel::B, 99), read),
              JedecError::kNone);
    EXPECT_EQ(read, bRows);
}

TEST(JedecReader, ALineLongerThanTheBufferIsReadAsSeveralLines) {
    JedecDir dir;
    std::vector<std::string> read;
    // One row of 100 fuses written on one line: with a limit of 99 the line comes in two pieces
    // (99 fuses, then the last fuse and the line end), and the two pieces fill the two lines
    // of the row; the next file line starts the next row.
    const auto rows = fuseRows(2, 100, 13);
    const std::string path = dir.write("wide.jed", jedecText({rows[0], rows[1]}));
    ASSERT_EQ(readJedecRows(path, small(2, 100, 2, 99), read), JedecError::kNone);
    EXPECT_EQ(read, rows);
    // With a buffer that holds the whole line the row lacks its second line's fuses.
    EXPECT_EQ(readJedecRows(path, small(2, 100, 2, 120), read), JedecError::kWrongRowLength);

    // A line of exactly the limit leaves its line end for the next read: an empty line.
    const std::string exact = dir.write("exact.jed", jedecText({std::string(99, '1'), "1"}));
    EXPECT_EQ(readJedecRows(exact, small(1, 100, 2, 99), read), JedecError::kWrongRowLength);
    EXPECT_EQ(readJedecRows(exact, small(1, 100, 2, 100), read), JedecError::kNone);

    // Lines of 85, 25, 25, 25 make a TOV-A row of 160 when read 99 at a time, but read 79 at
    // a time the first line takes two of the row's four reads.
    std::vector<std::string> lines;
    for (const auto& row : fuseRows(118, 160, 14)) {
        for (size_t from : {0, 85, 110, 135}) lines.push_back(row.substr(from, from ? 25 : 85));
    }
    const std::string uneven = dir.write("uneven.jed", jedecText(lines));
    EXPECT_EQ(readJedecRows(uneven, layout(ProbeModel::A, 99), read), JedecError::kNone);
    EXPECT_EQ(readJedecRows(uneven, layout(ProbeModel::A, 79), read), JedecError::kWrongRowLength);
}

TEST(Ues, TextsCarryTheVersionNumber) {
    EXPECT_EQ(uesText(ProbeModel::B, 4012), "TQV01E4012");
    EXPECT_EQ(uesText(ProbeModel::BC, 12), "TQV01E0012");
    EXPECT_EQ(uesText(ProbeModel::X, 3005), "TQX01E3005");
    EXPECT_EQ(uesText(ProbeModel::A, 11012), "TQA01E;012");
    EXPECT_EQ(uesText(ProbeModel::A, 4007), "TQA01E4007");
    EXPECT_EQ(uesText(ProbeModel::A, 999), "TQA01E0999");
}

TEST(Ues, EightBitsPerCharacterPaddedWithZeros) {
    const std::string bits = uesBits(ProbeModel::B, "TQV01E4012");
    ASSERT_EQ(bits.size(), 120u);
    EXPECT_EQ(bits.substr(0, 80),
              "01010100"  // T
              "01010001"  // Q
              "01010110"  // V
              "00110000"  // 0
              "00110001"  // 1
              "01000101"  // E
              "00110100"  // 4
              "00110000"  // 0
              "00110001"  // 1
              "00110010"  // 2
    );
    EXPECT_EQ(bits.substr(80), std::string(40, '0'));
    EXPECT_EQ(uesBits(ProbeModel::BC, "TQV01E4012"), bits);

    const std::string a = uesBits(ProbeModel::A, uesText(ProbeModel::A, 11012));
    ASSERT_EQ(a.size(), 80u);
    EXPECT_EQ(a.substr(48),
              "00111011"  // ';'
              "00110000"  // 0
              "00110001"  // 1
              "00110010"  // 2
    );
    // Only ten positions count on the TOV-A, fifteen on the TOV-B.
    EXPECT_EQ(uesBits(ProbeModel::A, "TQA01E4012XYZ"), uesBits(ProbeModel::A, "TQA01E4012"));
    EXPECT_EQ(uesBits(ProbeModel::B, "ABCDEFGHIJKLMNOPQ").substr(112), "01001111");  // 'O'
}

TEST(Ues, FourBitsPerHexDigitOnTheTovX) {
    const std::string bits = uesBits(ProbeModel::X, "TQX01E3005");
    EXPECT_EQ(bits,
              "0000"  // T
              "0000"  // Q
              "0000"  // X
              "0000"  // 0
              "0001"  // 1
              "1110"  // E
              "0011"  // 3
              "0000"  // 0
              "0000"  // 0
              "0101"  // 5
    );
    EXPECT_EQ(uesBits(ProbeModel::X, "fa9Bc-g"), "1111101010011011110000000000000000000000");
}

}  // namespace
}  // namespace tov::maint
