// S-record parsing under different line rules, record formatting, and dumping target memory
// into S-record files on a scripted probe, read back with the library's reader.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "files/srecord_reader.h"
#include "files/srecord_writer.h"
#include "link/error_codes.h"
#include "link/error_detail.h"
#include "tests/files/files_probe.h"

namespace tov::test {
namespace {

using files::LineResult;
using files::SRecord;
using files::SRecordLineRules;

// Reads every data record of a file into an address map; fails the test on a bad file.
std::map<uint32_t, uint8_t> readBack(const std::string& path, size_t* records = nullptr) {
    files::SRecordReader reader;
    std::map<uint32_t, uint8_t> image;
    EXPECT_TRUE(reader.open(path.c_str()));
    SRecord r;
    files::SRecordReader::Status status;
    size_t n = 0;
    while ((status = reader.next(r)) == files::SRecordReader::Status::kRecord) {
        ++n;
        for (size_t i = 0; i < r.length; ++i)
            image[r.address + static_cast<uint32_t>(i)] = r.data[i];
    }
    EXPECT_EQ(status, files::SRecordReader::Status::kEnd);
    EXPECT_EQ(reader.consumed(), reader.size());
    if (records) *records = n;
    return image;
}

TEST(SRecordLine, RulesOfTheOtherReaders) {
    SRecord r;
    const std::string s3 = "S30D8000000001020304050607084E";
    ASSERT_EQ(files::parseSRecordLine(s3, files::kLoadLineRules, r), LineResult::kRecord);
    EXPECT_EQ(r.type, 3);
    EXPECT_EQ(r.address, 0x80000000u);
    EXPECT_EQ(Bytes(r.data, r.data + r.length), hexBytes("0102030405060708"));
    // A record with count 5 and a 4-byte address carries no data.
    ASSERT_EQ(files::parseSRecordLine("S30500001000EA", files::kLoadLineRules, r),
              LineResult::kRecord);
    EXPECT_EQ(r.length, 0);

    // Upper case only, lines up to 255 characters, must start with 'S'.
    const SRecordLineRules firmware{true, false, true, 255, false};
    EXPECT_EQ(files::parseSRecordLine(s3, firmware, r), LineResult::kRecord);
    EXPECT_EQ(files::parseSRecordLine("S30D8000000001020304050607084e", files::kLoadLineRules, r),
              LineResult::kRecord);
    EXPECT_EQ(files::parseSRecordLine("S30D8000000001020304050607084e", firmware, r),
              LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine(s3 + std::string(226, ' '), firmware, r), LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine(s3 + std::string(225, ' '), firmware, r),
              LineResult::kRecord);
    EXPECT_EQ(files::parseSRecordLine("  ", firmware, r), LineResult::kSkipped);
    EXPECT_EQ(files::parseSRecordLine(" " + s3, firmware, r), LineResult::kSkipped);
    EXPECT_EQ(files::parseSRecordLine("x" + s3, firmware, r), LineResult::kError);

    // The record starts at the first 'S', must end at the line end, blank lines are errors.
    const SRecordLineRules exact{false, true, true, 0, true};
    ASSERT_EQ(files::parseSRecordLine("..  " + s3, exact, r), LineResult::kRecord);
    EXPECT_EQ(r.address, 0x80000000u);
    EXPECT_EQ(files::parseSRecordLine(s3 + " ", exact, r), LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine(s3.substr(0, s3.size() - 1), exact, r), LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine("", exact, r), LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine("   ", exact, r), LineResult::kError);
    EXPECT_EQ(files::parseSRecordLine("S9030000FC", exact, r), LineResult::kSkipped);
    EXPECT_EQ(files::parseSRecordLine("S9030000FC0", exact, r), LineResult::kError);
    // Without the exact rule other record types are not examined at all.
    EXPECT_EQ(files::parseSRecordLine("S9 not a record", files::kLoadLineRules, r),
              LineResult::kSkipped);
    EXPECT_EQ(files::parseSRecordLine("S", files::kLoadLineRules, r), LineResult::kError);
}

TEST(SRecordWriter, RecordTextTypesAndChecksums) {
    char text[files::kMaxRecordText];
    const Bytes four = hexBytes("01020304");
    std::string line(text, files::formatSRecord(1, 0x1000, four.data(), 4, text));
    EXPECT_EQ(line, "S107100001020304DE\n");
    line.assign(text, files::formatSRecord(2, 0xFFF0, four.data(), 4, text));
    EXPECT_EQ(line, "S20800FFF001020304FE\n");
    line.assign(text, files::formatSRecord(3, 0xDEADBEEF, nullptr, 0, text));
    EXPECT_EQ(line, "S305DEADBEEFC2\n");
    // The longest records agree with the independent formatter and fill the buffer exactly.
    const Bytes most = pattern(files::maxRecordData(1), 0x80);
    line.assign(text, files::formatSRecord(1, 0xABCD, most.data(), most.size(), text));
    EXPECT_EQ(line.size(), files::kMaxRecordText);
    EXPECT_EQ(line, srecordLine(1, 0xABCD, most));
    EXPECT_EQ(files::recordTypeFor(0xFFFF), 1);
    EXPECT_EQ(files::recordTypeFor(0x10000), 2);
    EXPECT_EQ(files::recordTypeFor(0xFFFFFF), 2);
    EXPECT_EQ(files::recordTypeFor(0x1000000), 3);
    EXPECT_EQ(files::recordTypeFor(0x10000000Full), 3);
}

TEST(DumpFile, RecordTypeFromTheLastAddressAndPiecesOf32) {
    TempDir dir;
    FilesProbe probe;
    const Bytes data = pattern(70, 0x31);
    for (size_t i = 0; i < data.size(); ++i)
        probe.memory[0xFFF0 + static_cast<uint32_t>(i)] = data[i];
    // 0xFFF0..0x1000F: the last address needs three address bytes.
    const std::string first = dir.file("first.s28");
    ASSERT_EQ(probe.session.dumpFile(first.c_str(), 0xFFF0, 32), 0);
    EXPECT_EQ(readText(first), srecordLine(2, 0xFFF0, Bytes(data.begin(), data.begin() + 32)));
    EXPECT_EQ(probe.requests(), (std::vector<Bytes>{hexBytes("B8 0000FFF0 0000 0020")}));
    // 70 bytes: records of 32, 32 and 6, each read on its own with access 0.
    probe.link.sent.clear();
    std::vector<uint64_t> done;
    probe.session.setProgressHook([&](uint64_t d, uint64_t t) {
        EXPECT_EQ(t, 70u);
        done.push_back(d);
    });
    const std::string second = dir.file("second.s28");
    ASSERT_EQ(probe.session.dumpFile(second.c_str(), 0xFFF0, 70), 0);
    EXPECT_EQ(done, (std::vector<uint64_t>{32, 64, 70}));
    probe.session.setProgressHook(nullptr);
    EXPECT_EQ(probe.requests(), (std::vector<Bytes>{hexBytes("B8 0000FFF0 0000 0020"),
                                                    hexBytes("B8 00010010 0000 0020"),
                                                    hexBytes("B8 00010030 0000 0006")}));
    size_t records = 0;
    const auto image = readBack(second, &records);
    EXPECT_EQ(records, 3u);
    ASSERT_EQ(image.size(), 70u);
    for (size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(image.at(0xFFF0 + static_cast<uint32_t>(i)), data[i]);
    // A range that stays below 0x10000 is written with S1 records.
    const std::string small = dir.file("small.s19");
    ASSERT_EQ(probe.session.dumpFile(small.c_str(), 0xFFF0, 16), 0);
    EXPECT_EQ(readText(small).substr(0, 4), "S113");
}

TEST(DumpFile, RoundTripThroughTheReaderAcrossTheFourGigabyteWrap) {
    TempDir dir;
    FilesProbe probe;
    const Bytes data = pattern(5000, 0x77);
    const uint32_t start = 0xFFFFF000;  // the range wraps past 0xFFFFFFFF
    for (size_t i = 0; i < data.size(); ++i)
        probe.memory[start + static_cast<uint32_t>(i)] = data[i];
    const std::string path = dir.file("wrap.s37");
    ASSERT_EQ(probe.session.dumpFile(path.c_str(), start, 5000), 0);
    const std::string text = readText(path);
    EXPECT_EQ(text.substr(0, 4), "S325");
    EXPECT_EQ(text.find("S1"), std::string::npos);
    const auto image = readBack(path);
    ASSERT_EQ(image.size(), data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(image.at(start + static_cast<uint32_t>(i)), data[i]) << i;
    }
}

TEST(DumpFile, EmptyRangeFileErrorsAndReadErrors) {
    TempDir dir;
    FilesProbe probe;
    const std::string empty = dir.write("empty.s19", "old contents\n");
    EXPECT_EQ(probe.session.dumpFile(empty.c_str(), 0x1000, 0), 0);
    struct stat info {};
    ASSERT_EQ(::stat(empty.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_TRUE(probe.link.sent.empty());

    EXPECT_EQ(probe.session.dumpFile(dir.file("no/such/dir.s19").c_str(), 0, 16),
              link::kFileAccessFailed);
    EXPECT_TRUE(probe.link.sent.empty());
    // A device that refuses every byte: the lost records are reported.
    if (::access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(probe.session.dumpFile("/dev/full", 0, 64), link::kFileAccessFailed);
    }
    // A memory read error stops the dump; no file is left behind for it.
    probe.link.sent.clear();
    probe.memoryFailFrom = 0x1040;
    const std::string partial = dir.file("partial.s19");
    EXPECT_EQ(probe.session.dumpFile(partial.c_str(), 0x1000, 100), link::kTargetBadAddress);
    EXPECT_EQ(probe.countOf(0xB8), 3u);
    EXPECT_NE(::access(partial.c_str(), F_OK), 0);
    EXPECT_STREQ(link::errorDetail(), "reading 32 bytes at 0x00001040 failed");
}

TEST(DumpFile, AFailedDumpLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    FilesProbe probe;
    const std::string old = dir.write("kept.s19", "S1130000000102030405060708090A0B0C0D0E0F74\n");
    ::chmod(old.c_str(), 0640);
    probe.memoryFailFrom = 0x1400;
    for (const auto reads :
         {files::FilesSession::DumpReads::kPerRecord, files::FilesSession::DumpReads::kLarge}) {
        EXPECT_EQ(probe.session.dumpFile(old.c_str(), 0x1000, 0x800, reads),
                  link::kTargetBadAddress);
        EXPECT_EQ(readText(old), "S1130000000102030405060708090A0B0C0D0E0F74\n");
    }
    // A dump that succeeds replaces the file and keeps its permissions.
    probe.memoryFailFrom = 0xFFFFFFFF;
    ASSERT_EQ(probe.session.dumpFile(old.c_str(), 0x1000, 0x20), 0);
    EXPECT_EQ(readText(old).substr(0, 8), "S1231000");
    struct stat info {};
    ASSERT_EQ(::stat(old.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // Nothing but the dump itself is left in the folder.
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file(""))) {
        EXPECT_EQ(entry.path().filename(), "kept.s19");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    // A folder that cannot take the file is named with the system's reason.
    EXPECT_EQ(probe.session.dumpFile(dir.file("no/such/dir.s19").c_str(), 0, 16),
              link::kFileAccessFailed);
    EXPECT_EQ(link::errorDetail(), dir.file("no/such/dir.s19") + ": No such file or directory");
    // A new file whose name is too long to have a temporary file beside it is dumped straight
    // into it; once it exists, it is never written in place: the dump is refused before any
    // read, naming the folder and the reason, and the file keeps every byte.
    const std::string longName = dir.file(std::string(250, 'n'));
    ASSERT_EQ(probe.session.dumpFile(longName.c_str(), 0x1000, 0x20), 0);
    const std::string dumped = readText(longName);
    EXPECT_EQ(dumped.substr(0, 8), "S1231000");
    probe.link.sent.clear();
    EXPECT_EQ(probe.session.dumpFile(longName.c_str(), 0x2000, 0x20), link::kFileAccessFailed);
    EXPECT_TRUE(probe.link.sent.empty());
    EXPECT_EQ(readText(longName), dumped);
    const std::string folder = std::filesystem::canonical(dir.file("")).string();
    EXPECT_EQ(link::errorDetail(), "cannot make a temporary file in " + folder + " to replace " +
                                       folder + "/" + std::string(250, 'n') +
                                       " safely: File name too long");
    ::unlink(longName.c_str());
    probe.memoryFailFrom = 0x1000;
    EXPECT_EQ(probe.session.dumpFile(longName.c_str(), 0x1000, 0x20), link::kTargetBadAddress);
    EXPECT_NE(::access(longName.c_str(), F_OK), 0);
}

TEST(DumpFile, LargeReadsWriteTheSameFileInFewerRequests) {
    TempDir dir;
    FilesProbe probe;
    const Bytes data = pattern(5000, 0x21);
    const uint32_t start = 0x00FFF000;  // the range needs 4-byte addresses from 0x1000000 on
    for (size_t i = 0; i < data.size(); ++i)
        probe.memory[start + static_cast<uint32_t>(i)] = data[i];
    const std::string small = dir.file("small.s28");
    const std::string large = dir.file("large.s28");
    ASSERT_EQ(probe.session.dumpFile(small.c_str(), start, 5000), 0);
    EXPECT_EQ(probe.countOf(0xB8), 157u);
    probe.link.sent.clear();
    std::vector<uint64_t> done;
    probe.session.setProgressHook([&](uint64_t d, uint64_t) { done.push_back(d); });
    ASSERT_EQ(
        probe.session.dumpFile(large.c_str(), start, 5000, files::FilesSession::DumpReads::kLarge),
        0);
    EXPECT_EQ(
        probe.requests(),
        (std::vector<Bytes>{hexBytes("B8 00FFF000 0000 0400"), hexBytes("B8 00FFF400 0000 0400"),
                            hexBytes("B8 00FFF800 0000 0400"), hexBytes("B8 00FFFC00 0000 0400"),
                            hexBytes("B8 01000000 0000 0388")}));
    EXPECT_EQ(done, (std::vector<uint64_t>{1024, 2048, 3072, 4096, 5000}));
    EXPECT_EQ(readText(large), readText(small));
    EXPECT_EQ(readText(large).substr(0, 4), "S325");
}

TEST(SRecordReader, SaysWhichLineIsWrongAndWhy) {
    TempDir dir;
    std::string text;
    for (uint32_t line = 1; line < 12; ++line) text += srecordLine(1, 0x100 * line, pattern(16, 1));
    text += srecordLine(1, 0x2000, pattern(16, 2), false, 1);
    const std::string path = dir.write("bad.s19", text);
    files::SRecordReader reader;
    ASSERT_TRUE(reader.open(path.c_str()));
    SRecord r;
    size_t good = 0;
    files::SRecordReader::Status status;
    while ((status = reader.next(r)) == files::SRecordReader::Status::kRecord) ++good;
    EXPECT_EQ(status, files::SRecordReader::Status::kBadRecord);
    EXPECT_EQ(good, 11u);
    // The last line's checksum was made one too high.
    const unsigned found = std::stoul(text.substr(text.size() - 3, 2), nullptr, 16);
    char expected[80];
    std::snprintf(expected, sizeof expected,
                  "line 12: bad checksum 0x%02X, the record needs 0x%02X", found,
                  (found - 1) & 0xFF);
    EXPECT_EQ(reader.problem(), expected);
    // Other faults are named as well.
    std::string why;
    EXPECT_EQ(files::parseSRecordLine("X1130000", files::kLoadLineRules, r, &why),
              LineResult::kError);
    EXPECT_EQ(why, "not a record: the line does not start with 'S'");
    EXPECT_EQ(files::parseSRecordLine("S113000000", files::kLoadLineRules, r, &why),
              LineResult::kError);
    EXPECT_EQ(why, "record shorter than its byte count");
    EXPECT_FALSE(reader.open(dir.file("missing.s19").c_str()));
    EXPECT_EQ(reader.problem(), "No such file or directory");
}

TEST(DumpBlock, ReadsWithAccessZeroInPiecesOf1024) {
    FilesProbe probe;
    for (uint32_t i = 0; i < 2500; ++i) probe.memory[0x8000 + i] = static_cast<uint8_t>(i * 3);
    Bytes buffer(2500);
    ASSERT_EQ(probe.session.dumpBlock(0x8000, 2500, buffer.data()), 0);
    EXPECT_EQ(probe.requests(), (std::vector<Bytes>{hexBytes("B8 00008000 0000 0400"),
                                                    hexBytes("B8 00008400 0000 0400"),
                                                    hexBytes("B8 00008800 0000 01C4")}));
    for (uint32_t i = 0; i < 2500; ++i) ASSERT_EQ(buffer[i], static_cast<uint8_t>(i * 3));
}

}  // namespace
}  // namespace tov::test
