// Reading and writing the ".tov" archive.
#include "setup/doc_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "setup/display_text.h"

namespace tov::setup {
namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassRefTag = 0x8001;
constexpr std::string_view kItemClass = "CCodeItem";

class ArchiveWriter {
public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint32_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void text(std::string_view s) {
        if (s.size() < 0xFF) {
            u8(static_cast<uint8_t>(s.size()));
        } else if (s.size() <= 0xFFFD) {
            u8(0xFF);
            u16(static_cast<uint32_t>(s.size()));
        } else {
            u8(0xFF);
            u16(0xFFFF);
            u32(static_cast<uint32_t>(s.size()));
        }
        bytes_.insert(bytes_.end(), s.begin(), s.end());
    }
    void list(const CCodeList& items);
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// Reads fields; the first read past the end marks the archive bad and every later read gives 0.
class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool bad() const { return bad_; }
    void fail() { bad_ = true; }
    size_t left() const { return bytes_.size() - at_; }

    uint8_t u8() {
        if (bad_ || left() < 1) return fail(), 0;
        return bytes_[at_++];
    }
    uint16_t u16() {
        const uint16_t low = u8();
        return static_cast<uint16_t>(low | (u8() << 8));
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | (uint32_t{u16()} << 16);
    }
    void u16(uint32_t& field) { field = u16(); }
    void u32(uint32_t& field) { field = u32(); }
    void text(std::string& field) { field = text(); }
    void list(CCodeList& items);

    std::string text() {
        bool wide = false;
        uint32_t length = lengthPrefix(true, wide);
        const uint64_t need = uint64_t{length} * (wide ? 2 : 1);
        if (bad_ || need > left()) return fail(), std::string{};
        const auto* start = bytes_.data() + at_;
        at_ += static_cast<size_t>(need);
        if (wide) return utf16leToUtf8(std::span(start, static_cast<size_t>(need)));
        return std::string(reinterpret_cast<const char*>(start), length);
    }

private:
    // The length scheme: a byte below 0xFF, else a u16 below 0xFFFF, else a u32. The u16
    // 0xFFFE right after the first 0xFF announces 16-bit characters and the scheme restarts.
    uint32_t lengthPrefix(bool wideAllowed, bool& wide) {
        const uint8_t b = u8();
        if (b < 0xFF) return b;
        const uint16_t w = u16();
        if (w == 0xFFFE && wideAllowed) {
            wide = true;
            return lengthPrefix(false, wide);
        }
        if (w < 0xFFFF) return w;
        return u32();
    }

    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool bad_ = false;
};

// The count (u16, or 0xFFFF and a u32), then per item its tag and item text. The first tag
// introduces the class "CCodeItem"; later ones refer back to it.
void ArchiveWriter::list(const CCodeList& items) {
    if (items.size() < 0xFFFF) {
        u16(static_cast<uint32_t>(items.size()));
    } else {
        u16(0xFFFF);
        u32(static_cast<uint32_t>(items.size()));
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (i == 0) {
            u16(kNewClassTag);
            u16(0);  // schema
            u16(static_cast<uint32_t>(kItemClass.size()));
            for (char c : kItemClass) u8(static_cast<uint8_t>(c));
        } else {
            u16(kClassRefTag);
        }
        text(items.at(i).text());
    }
}

void ArchiveReader::list(CCodeList& items) {
    uint32_t count = u16();
    if (count == 0xFFFF) count = u32();
    // Every item takes at least a tag and a length byte: a larger count cannot be in the file.
    if (bad() || uint64_t{count} * 3 > left()) return fail();
    for (uint32_t i = 0; i < count && !bad(); ++i) {
        const uint16_t tag = u16();
        if (i == 0) {
            if (tag != kNewClassTag || u16() != 0) return fail();
            if (u16() != kItemClass.size()) return fail();
            for (char c : kItemClass) {
                if (u8() != static_cast<uint8_t>(c)) return fail();
            }
        } else if (tag != kClassRefTag) {
            return fail();
        }
        std::string itemText = text();
        if (!bad()) items.append(CCodeItem(std::move(itemText)));
    }
}

// The document's fields in file order, stored by the writer or loaded by the reader. Break
// mode comes before startup mode and the JTAG clock after the run time, as files have them.
template <typename Archive, typename Doc>
void serializeFields(Archive& ar, Doc& doc, uint16_t version) {
    ar.u16(doc.comm.baudIndex);
    ar.u16(doc.comm.channel);
    ar.u16(doc.loaderBaudIndex);
    ar.u16(doc.loaderChannel);
    ar.text(doc.comm.ipAddress);
    ar.text(doc.subnetMask);
    ar.text(doc.gateway);
    auto& m = doc.mode;
    ar.u16(m.breakMode);
    ar.u16(m.startupMode);
    ar.u16(m.trapMask);
    ar.u16(m.bigEndian);
    ar.u16(m.cpuType);
    ar.u16(m.runTime);
    ar.u16(m.jtagClock);
    ar.u32(m.workspace);
    ar.text(m.setupId);
    ar.list(doc.initList);
    ar.u16(doc.memAccessSize);
    ar.u32(doc.memAddress);
    if (version >= 2) {
        ar.u16(m.scanPredCount);
        ar.u16(m.scanPredIrLength);
        ar.u16(m.scanSuccCount);
        ar.u16(m.scanSuccIrLength);
    }
    if (version >= 3) ar.text(doc.textFileName);
}

}  // namespace

std::vector<uint8_t> storeDocument(const CTovDoc& doc) {
    ArchiveWriter out;
    out.u16(kDocVersion);
    serializeFields(out, doc, kDocVersion);
    return out.take();
}

bool loadDocument(std::span<const uint8_t> bytes, CTovDoc& doc) {
    doc.deleteContents();
    ArchiveReader in(bytes);
    const uint16_t version = in.u16();
    serializeFields(in, doc, version);
    if (in.bad()) {
        doc.deleteContents();
        return false;
    }
    doc.rebuildConnectionParameters();
    return true;
}

std::string setupFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    if (!S_ISREG(info.st_mode)) return path + " is not a regular file";
    if (static_cast<uint64_t>(info.st_size) > kLargestSetupFile) {
        return path + " is " + std::to_string(info.st_size) +
               " bytes long; no setup file is larger than " + std::to_string(kLargestSetupFile);
    }
    return {};
}

FileRead readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    // Only regular files are read, and never beyond the largest setup file: a device or a pipe
    // would otherwise be read without end.
    if (!setupFileProblem(path).empty()) return FileRead::kReadError;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FileRead::kCannotOpen;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileRead::kReadError;
    }
    uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (bytes.size() + static_cast<size_t>(n) > kLargestSetupFile) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return ok ? FileRead::kOk : FileRead::kReadError;
}

FileWrite writeFileReplacing(const std::string& path, std::span<const uint8_t> bytes) {
    // A link stays a link: the file it names is the one replaced, beside itself.
    std::string target = path;
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return FileWrite::kCannotCreate;
    if (char* resolved = exists ? ::realpath(path.c_str(), nullptr) : nullptr) {
        target = resolved;
        std::free(resolved);
    }
    const size_t slash = target.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." +
        target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return FileWrite::kCannotCreate;
    // The mode the old file had, or the one a plain creation would give.
    mode_t mode = old.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    // Only a privileged user may give the file away; anyone else keeps owning what they save.
    if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        ok = ok && (errno == EPERM || errno == EINVAL);
    }
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return FileWrite::kWriteError;
    }
    return FileWrite::kOk;
}

std::string openDocumentFile(const std::string& path, CTovDoc& doc) {
    std::vector<uint8_t> bytes;
    if (readWholeFile(path, bytes) != FileRead::kOk) {
        doc.deleteContents();
        doc.setModified(false);
        return kOpenFailedText;
    }
    const bool ok = loadDocument(bytes, doc);
    doc.setModified(false);
    return ok ? std::string{} : kBadFormatText;
}

std::string saveDocumentFile(const std::string& path, const CTovDoc& doc) {
    const FileWrite result = writeFileReplacing(path, storeDocument(doc));
    return result == FileWrite::kOk ? std::string{} : kSaveFailedText;
}

}  // namespace tov::setup
