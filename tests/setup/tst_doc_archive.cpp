// The ".tov" archive: exact bytes, older versions, wide strings and damaged files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "setup/connection_parameters.h"
#include "setup/doc_archive.h"

namespace tov::setup {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes str(std::string_view s) {
    Bytes b(s.size() + 1);
    b[0] = static_cast<uint8_t>(s.size());
    std::copy(s.begin(), s.end(), b.begin() + 1);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kHead = {0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kAddresses =
    cat({str("111.111.111.111"), str("255.255.255.255"), str("255.255.255.255")});
const Bytes kMode = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0x07, 0x03, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
const Bytes kMemory = {0x01, 0x00, 0, 0, 0, 0};
const Bytes kScan = {0, 0, 0, 0, 0, 0, 0, 0};

TEST(DocArchive, NewDocumentStoresTheDefaultBytes) {
    CTovDoc doc;
    const Bytes expected =
        cat({kHead, kAddresses, kMode, {0x00}, {0x00, 0x00}, kMemory, kScan, {0x00}});
    EXPECT_EQ(storeDocument(doc), expected);
}

TEST(DocArchive, ListTagsLongStringsAndRoundTrip) {
    CTovDoc doc;
    doc.initList.append(makeItem(kWm8, 0x1000, 0x12, "x"));
    doc.initList.append(makeItem(kDelay, 0, 100, "wait"));
    doc.mode.setupId = std::string(300, 'a');
    doc.comm.channel = 4;
    doc.mode.workspace = 0x12345678;
    doc.mode.scanSuccIrLength = 0x1234;
    doc.textFileName = "caf\xE9.txt";  // Windows-1252 bytes stay as they are
    const Bytes bytes = storeDocument(doc);

    const Bytes idPrefix = {0xFF, 0x2C, 0x01};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), idPrefix.begin(), idPrefix.end()),
              bytes.end());
    const Bytes list = cat({{0x02, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x09, 0x00},
                            Bytes{'C', 'C', 'o', 'd', 'e', 'I', 't', 'e', 'm'},
                            str("WM8\t00001000\t00000012\tx"),
                            {0x01, 0x80},
                            str("DELAY\t00000000\t00000064\twait")});
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), list.begin(), list.end()), bytes.end());

    CTovDoc back;
    ASSERT_TRUE(loadDocument(bytes, back));
    EXPECT_EQ(back.mode, doc.mode);
    EXPECT_EQ(back.initList.texts(), doc.initList.texts());
    EXPECT_EQ(back.textFileName, doc.textFileName);
    EXPECT_EQ(storeDocument(back), bytes);
    EXPECT_EQ(connectionParameters(), "NETWORK 111.111.111.111 1");
}

TEST(DocArchive, OlderVersionsKeepTheLaterFieldsAtDefaults) {
    const Bytes body = cat({kAddresses, kMode, {0x00}, {0x00, 0x00}, kMemory});
    for (uint8_t version : {1, 2}) {
        Bytes bytes = cat({{version, 0x00, 0x04, 0, 0x02, 0, 0, 0, 0, 0}, body});
        if (version == 2) bytes.insert(bytes.end(), {7, 0, 8, 0, 9, 0, 10, 0});
        CTovDoc doc;
        doc.textFileName = "left over";
        ASSERT_TRUE(loadDocument(bytes, doc)) << int(version);
        EXPECT_EQ(doc.comm.baudIndex, 4u);
        EXPECT_EQ(doc.comm.channel, 2u);
        EXPECT_EQ(doc.mode.scanPredCount, version == 2 ? 7u : 0u);
        EXPECT_EQ(doc.mode.scanSuccIrLength, version == 2 ? 10u : 0u);
        EXPECT_EQ(doc.textFileName, "");
        EXPECT_EQ(connectionParameters(), "COM3 115200");
    }
    // A later version reads as version 3.
    Bytes v9 = storeDocument(CTovDoc{});
    v9[0] = 9;
    v9[v9.size() - 1] = 2;
    v9.insert(v9.end(), {'a', 'b'});
    CTovDoc doc;
    ASSERT_TRUE(loadDocument(v9, doc));
    EXPECT_EQ(doc.textFileName, "ab");
}

TEST(DocArchive, WideStringsAreReadAsUtf8) {
    // "Ä€" as 16-bit characters: FF FE FF, length 2, then UTF-16LE.
    Bytes bytes = cat({kHead, kAddresses, kMode,
                       {0xFF, 0xFE, 0xFF, 0x02, 0xC4, 0x00, 0xAC, 0x20},
                       {0x00, 0x00}, kMemory, kScan, {0x00}});
    CTovDoc doc;
    ASSERT_TRUE(loadDocument(bytes, doc));
    EXPECT_EQ(doc.mode.setupId, "\xC3\x84\xE2\x82\xAC");
}

TEST(DocArchive, EveryCutAndHostileLengthIsRejectedAndLeavesDefaults) {
    CTovDoc full;
    full.initList.append(makeItem(kWm32, 1, 2, "first"));
    full.initList.append(makeItem(kWm32, 3, 4, "second"));
    full.mode.setupId = std::string(300, 'i');
    full.comm.channel = 1;
    const Bytes bytes = storeDocument(full);
    const Bytes defaults = storeDocument(CTovDoc{});
    for (size_t length = 0; length < bytes.size(); ++length) {
        CTovDoc doc;
        ASSERT_FALSE(loadDocument(std::span(bytes).first(length), doc)) << length;
        ASSERT_EQ(storeDocument(doc), defaults) << length;
        ASSERT_EQ(connectionParameters(), "COM1 9600");
    }

    const size_t idAt = kHead.size() + kAddresses.size() + kMode.size();
    const auto patched = [&](size_t at, Bytes with) {
        Bytes b = bytes;
        std::copy(with.begin(), with.end(), b.begin() + static_cast<long>(at));
        return b;
    };
    const size_t listAt = idAt + 3 + 300;
    const std::vector<Bytes> hostile = {
        patched(idAt, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),  // 2 GiB string
        patched(idAt, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF}),              // huge wide string
        patched(listAt, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}),      // 268 M items
        patched(listAt + 2, {0xFF, 0xFF, 0x01, 0x00}),              // schema 1
        patched(listAt + 8, {'X'}),                                  // another class
        patched(listAt + 2 + 8 + 9 + 1 + 28, {0x02, 0x80}),         // unknown class reference
    };
    for (size_t i = 0; i < hostile.size(); ++i) {
        CTovDoc doc;
        EXPECT_FALSE(loadDocument(hostile[i], doc)) << i;
        EXPECT_EQ(storeDocument(doc), defaults) << i;
    }
}

TEST(DocArchive, FilesReportTheirMessagesAndSavingKeepsTheOldFileOnFailure) {
    const auto dir = std::filesystem::temp_directory_path() / ("tovdoc-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "board.tov").string();
    CTovDoc doc;
    doc.mode.runTime = 1234;
    EXPECT_EQ(saveDocumentFile(path, doc), "");
    doc.setModified();
    EXPECT_EQ(openDocumentFile(path, doc), "");
    EXPECT_EQ(doc.mode.runTime, 1234u);
    EXPECT_FALSE(doc.isModified());

    EXPECT_EQ(openDocumentFile((dir / "missing.tov").string(), doc), "Failed to open document.");
    EXPECT_EQ(doc.mode.runTime, 2000u);
    std::filesystem::resize_file(path, 20);
    EXPECT_EQ(openDocumentFile(path, doc), "Unexpected file format.");
    EXPECT_EQ(doc.mode.runTime, 2000u);

    // A save that cannot complete leaves the file that was there.
    const std::string blocked = (dir / "no-folder" / "blocked.tov").string();
    EXPECT_EQ(saveDocumentFile(blocked, doc), "Failed to save document.");
    EXPECT_FALSE(std::filesystem::exists(blocked));
    // A device is no document: refused at once, however much it would give.
    EXPECT_EQ(openDocumentFile("/dev/zero", doc), "Failed to open document.");
    EXPECT_EQ(setupFileProblem("/dev/zero"), "/dev/zero is not a regular file");

    // Saving keeps the file's mode, and through a link replaces the file the link names.
    ::chmod(path.c_str(), 0600);
    const std::string link = (dir / "link.tov").string();
    std::filesystem::create_symlink(path, link);
    doc.mode.runTime = 4321;
    EXPECT_EQ(saveDocumentFile(link, doc), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    CTovDoc reread;
    EXPECT_EQ(openDocumentFile(path, reread), "");
    EXPECT_EQ(reread.mode.runTime, 4321u);
    // Nothing else is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"board.tov", "link.tov"}));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tov::setup
