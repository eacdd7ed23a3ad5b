// S-record formatting with a nibble table and the buffered writer behind memory dumps.
#include "files/srecord_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tov::files {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

char* putByte(char* out, uint8_t value) {
    out[0] = kDigits[value >> 4];
    out[1] = kDigits[value & 0x0F];
    return out + 2;
}

}  // namespace

uint8_t recordTypeFor(uint64_t lastAddress) {
    if (lastAddress <= 0xFFFF) return 1;
    if (lastAddress <= 0xFFFFFF) return 2;
    return 3;
}

size_t formatSRecord(uint8_t type, uint32_t address, const uint8_t* data, size_t length,
                     char* out) {
    const size_t addressLength = type + 1u;
    const auto count = static_cast<uint8_t>(addressLength + length + 1);
    char* p = out;
    *p++ = 'S';
    *p++ = static_cast<char>('0' + type);
    p = putByte(p, count);
    unsigned sum = count;
    for (size_t i = addressLength; i-- > 0;) {
        const auto byte = static_cast<uint8_t>(address >> (8 * i));
        sum += byte;
        p = putByte(p, byte);
    }
    for (size_t i = 0; i < length; ++i) {
        sum += data[i];
        p = putByte(p, data[i]);
    }
    p = putByte(p, static_cast<uint8_t>(~sum));
    *p++ = '\n';
    return static_cast<size_t>(p - out);
}

SRecordWriter::SRecordWriter() : buffer_(new char[kBuffer]) {}

SRecordWriter::~SRecordWriter() {
    discard();
}

bool SRecordWriter::fail(const std::string& path) {
    error_ = path + ": " + std::strerror(errno);
    return false;
}

std::string SRecordWriter::replacedFile(const char* path) {
    // A symbolic link stays a link: the file it names is the one replaced.
    std::string target = path;
    if (char* resolved = ::realpath(path, nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    return target;
}

std::string SRecordWriter::processTemporary(const std::string& target) {
    const size_t slash = target.rfind('/');
    char tail[16];
    std::snprintf(tail, sizeof tail, ".%06x", static_cast<unsigned>(::getpid()) & 0xFFFFFFu);
    return target.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
           target.substr(slash == std::string::npos ? 0 : slash + 1) + tail;
}

bool SRecordWriter::create(const char* path) {
    discard();
    used_ = 0;
    failed_ = false;
    error_.clear();
    target_ = path;
    struct stat existing {};
    const bool exists = ::stat(path, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return fd_ >= 0 || fail(target_);
    }
    if (exists) target_ = replacedFile(path);
    // The file gets the mode the target had, or the one a plain creation would give it.
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    temporary_ = (slash == std::string::npos ? "" : folder) + "." + base + ".XXXXXX";
    // Best an unnamed file, which vanishes by itself should the process end before the dump
    // does; else a named one beside the target: first the one this process's name gives, which
    // a caller can remove on a signal, else any free one. The unnamed file is named through
    // /proc.
    const bool nameFits = base.size() + 8 <= NAME_MAX;
    if (nameFits && ::access("/proc/self/fd", F_OK) == 0) {
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    }
    unnamed_ = fd_ >= 0;
    if (!unnamed_ && nameFits) {
        const std::string own = processTemporary(target_);
        fd_ = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            temporary_ = own;
        } else if (errno == EEXIST) {
            fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
        }
    }
    if (fd_ < 0) {
        // No room for a file beside it (a folder the caller may not add to, a name too long for
        // the temporary's). Writing an existing file in place would destroy it should the dump
        // fail or be interrupted, so that is refused before anything is read; a new file is
        // written directly and removed again should the dump not complete.
        const int reason = nameFits ? errno : ENAMETOOLONG;
        temporary_.clear();
        if (exists) {
            const std::string shown =
                slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
            error_ = "cannot make a temporary file in " + shown + " to replace " + target_ +
                     " safely: " + std::strerror(reason);
            return false;
        }
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        createdTarget_ = fd_ >= 0;
        return fd_ >= 0 || fail(target_);
    }
    ::fchmod(fd_, mode);
    return true;
}

bool SRecordWriter::nameUnnamed() {
    const std::string descriptor = "/proc/self/fd/" + std::to_string(fd_);
    const std::string pattern = temporary_;
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char tail[8];
        const auto noise = static_cast<unsigned>(::getpid()) * 2654435761u ^
                           static_cast<unsigned>(::time(nullptr)) ^ (++counter * 40503u);
        std::snprintf(tail, sizeof tail, "%06x", noise & 0xFFFFFF);
        temporary_ = pattern.substr(0, pattern.size() - 6) + tail;
        if (::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, temporary_.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno != EEXIST) break;
    }
    temporary_.clear();
    return false;
}

bool SRecordWriter::flush() {
    size_t done = 0;
    while (!failed_ && done < used_) {
        const ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            failed_ = true;
            fail(target_);
        } else {
            done += static_cast<size_t>(n);
        }
    }
    used_ = 0;
    return !failed_;
}

bool SRecordWriter::write(uint8_t type, uint32_t address, const uint8_t* data, size_t length) {
    if (fd_ < 0 || failed_) return false;
    if (kBuffer - used_ < kMaxRecordText && !flush()) return false;
    used_ += formatSRecord(type, address, data, length, buffer_.get() + used_);
    return true;
}

bool SRecordWriter::close() {
    if (fd_ < 0) return false;
    bool ok = flush();
    const bool replacing = !temporary_.empty();
    if (ok && replacing && ::fsync(fd_) != 0) ok = fail(target_);
    if (ok && unnamed_ && nameUnnamed()) unnamed_ = false;
    if (ok && unnamed_) ok = fail(target_);
    if (::close(fd_) != 0 && ok) ok = fail(target_);
    fd_ = -1;
    createdTarget_ = false;
    if (!replacing) return ok;
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) ok = fail(target_);
    // A file that never got a name went with its descriptor.
    if (!ok && !unnamed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    unnamed_ = false;
    temporary_.clear();
    return ok;
}

void SRecordWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        // A file this writer created is not left behind half written.
        if (createdTarget_) ::unlink(target_.c_str());
    }
    fd_ = -1;
    createdTarget_ = false;
    if (!temporary_.empty() && !unnamed_) ::unlink(temporary_.c_str());
    unnamed_ = false;
    temporary_.clear();
}

}  // namespace tov::files
