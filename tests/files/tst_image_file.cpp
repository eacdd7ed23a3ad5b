// ELF and Intel HEX images: the same bytes at the same addresses as the S-records made from the
// same program, malformed files refused with the file and the place named, and raw binaries.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "files/image_file.h"
#include "files/srecord_reader.h"

namespace tov::files {
namespace {

using Memory = std::map<uint32_t, uint8_t>;

Memory memoryOf(const std::vector<ImageSegment>& segments) {
    Memory memory;
    for (const ImageSegment& segment : segments) {
        for (size_t i = 0; i < segment.bytes.size(); ++i)
            memory[segment.address + static_cast<uint32_t>(i)] = segment.bytes[i];
    }
    return memory;
}

Memory memoryOfSRecords(const std::string& path) {
    Memory memory;
    std::ifstream in(path);
    std::string line;
    SRecord record;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (parseSRecordLine(line, kLoadLineRules, record) != LineResult::kRecord) continue;
        for (size_t i = 0; i < record.length; ++i)
            memory[record.address + static_cast<uint32_t>(i)] = record.data[i];
    }
    return memory;
}

std::string scratch(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(ImageFile, ElfAndIntelHexHoldTheSameBytesAsTheSRecords) {
    for (const std::string state : {"arm", "thumb"}) {
        const std::string base = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_" + state;
        const Memory expected = memoryOfSRecords(base + ".srec");
        ASSERT_GT(expected.size(), 1000u);
        std::vector<ImageSegment> segments;
        std::string error;
        EXPECT_EQ(imageFormat(base + ".elf"), ImageFormat::Elf);
        ASSERT_TRUE(readElf(base + ".elf", segments, error)) << error;
        // The allocated sections with contents, as the S-records (made section by section) hold
        // them: the alignment padding between sections is no part of the image.
        EXPECT_EQ(memoryOf(segments), expected);
        EXPECT_EQ(imageFormat(base + ".hex"), ImageFormat::IntelHex);
        ASSERT_TRUE(readIntelHex(base + ".hex", segments, error)) << error;
        EXPECT_EQ(memoryOf(segments), expected);
        ASSERT_TRUE(readSRecords(base + ".srec", segments, error)) << error;
        EXPECT_EQ(memoryOf(segments), expected);
    }
}

TEST(ImageFile, MalformedFilesAreRefusedWithTheirPlace) {
    std::vector<ImageSegment> segments;
    std::string error;
    // Extended linear address 0x0001, then 2 bytes at 0x10010.
    const std::string good = ":020000040001F9\n:020010000102EB\n:00000001FF\n";
    ASSERT_TRUE(readIntelHex(scratch("good.hex", good), segments, error)) << error;
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].address, 0x10010u);
    EXPECT_EQ(segments[0].bytes, (std::vector<uint8_t>{1, 2}));

    const std::pair<std::string, std::string> bad[] = {
        {":020000040001F9\n:020010000102EC\n:00000001FF\n", "line 2: bad checksum"},
        {":020000040001F9\n:020010000102EB\n", "no end-of-file record"},
        {":020000040001F9\n:0300100001EB\n:00000001FF\n", "line 2: the byte count"},
        {":02000004000XF9\n", "line 1: not a hex digit"},
        {":020000040001F9\nhello\n", "line 2: not an Intel HEX record"},
        {":00000007F9\n", "line 1: unknown record type"},
    };
    for (const auto& [content, place] : bad) {
        const std::string path = scratch("bad.hex", content);
        EXPECT_FALSE(readIntelHex(path, segments, error)) << content;
        EXPECT_NE(error.find(path + ": " + place), std::string::npos) << error;
    }

    // An ELF cut short, and one whose segment points past its end.
    const std::string elfPath = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_arm.elf";
    std::ifstream in(elfPath, std::ios::binary);
    std::string elf((std::istreambuf_iterator<char>(in)), {});
    const std::string cut = scratch("cut.elf", elf.substr(0, 40));
    EXPECT_FALSE(readElf(cut, segments, error));
    EXPECT_NE(error.find(cut + ": "), std::string::npos) << error;
    const std::string shortened = scratch("short.elf", elf.substr(0, 200));
    EXPECT_FALSE(readElf(shortened, segments, error));
    EXPECT_NE(error.find(shortened + ": segment "), std::string::npos) << error;
    Image image;
    EXPECT_FALSE(readImage(scratch("text.txt", "hello"), {}, image, error));
}

TEST(ImageFile, AnythingElseIsARawBinaryTakenWholeAtItsBase) {
    // Text formats are recognised past leading blank lines; anything else is raw.
    EXPECT_EQ(imageFormat(scratch("blank.s19", "\r\n\nS1130000")), ImageFormat::SRecord);
    EXPECT_EQ(imageFormat(scratch("blank.hex", "\n :00000001FF")), ImageFormat::IntelHex);
    const std::string raw = scratch("raw.bin", std::string("S\0:\x7F", 4));
    EXPECT_EQ(imageFormat(raw), ImageFormat::Unknown);

    std::vector<ImageSegment> segments;
    std::string error;
    ASSERT_TRUE(readBinary(raw, 0xFFFFFFFC, segments, error)) << error;
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].address, 0xFFFFFFFCu);
    EXPECT_EQ(segments[0].bytes, (std::vector<uint8_t>{'S', 0, ':', 0x7F}));
    EXPECT_FALSE(readBinary(raw, 0xFFFFFFFD, segments, error));
    EXPECT_EQ(error, raw + ": 4 bytes at 0xFFFFFFFD run past address 0xFFFFFFFF");
    const std::string empty = scratch("empty.bin", "");
    EXPECT_FALSE(readBinary(empty, 0, segments, error));
    EXPECT_EQ(error, empty + ": the file is empty");
}

}  // namespace
}  // namespace tov::files
