// Host file names of the target program resolved beneath one folder by the kernel.
#include "semihost/file_root.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tov::semihost {
namespace {

constexpr uint64_t kResolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
// The kernel gives up a resolution that a concurrent rename could mislead; it is tried again.
constexpr int kRaceRetries = 8;

int openat2(int folder, const char* name, int flags) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & O_CREAT) ? 0666 : 0;
    how.resolve = kResolve;
    long fd = -1;
    for (int i = 0; i < kRaceRetries; ++i) {
        fd = ::syscall(SYS_openat2, folder, name, &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN) break;
    }
    return static_cast<int>(fd);
}

// Closes a descriptor without changing errno.
void closeKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

FileRoot::~FileRoot() {
    release();
}

void FileRoot::release() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

std::string FileRoot::set(const std::string& folder) {
    release();
    folder_ = folder;
    problem_.clear();
    if (folder.empty()) return problem_;
    descriptor_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (descriptor_ < 0) {
        problem_ = "cannot open the semihosting root " + folder + ": " + std::strerror(errno) +
                   "; the program's host file operations are refused";
        return problem_;
    }
    // The kernel must be able to keep names beneath the folder; else nothing is opened at all.
    const int probe = openat2(descriptor_, ".", O_PATH | O_DIRECTORY);
    if (probe < 0) {
        problem_ = errno == ENOSYS
                       ? "this kernel cannot resolve names beneath a folder (no openat2)"
                       : std::string("resolving names beneath a folder fails (openat2: ") +
                             std::strerror(errno) + ")";
        problem_ += "; the program's host file operations under " + folder + " are refused";
        release();
        return problem_;
    }
    ::close(probe);
    return problem_;
}

int FileRoot::openBeneath(const std::string& name, int flags) const {
    if (descriptor_ < 0 || name.empty()) {
        errno = descriptor_ < 0 ? EACCES : ENOENT;
        return -1;
    }
    const int fd = openat2(descriptor_, name.c_str(), flags);
    if (fd < 0 && errno == EXDEV) errno = EACCES;
    return fd;
}

int FileRoot::open(const std::string& name, int flags) const {
    if (!confined()) return ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    return openBeneath(name, flags);
}

int FileRoot::openParent(const std::string& name, std::string& last) const {
    const size_t slash = name.rfind('/');
    last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") {
        errno = name.empty() ? ENOENT : EINVAL;
        return -1;
    }
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : name.substr(0, slash);
    return openBeneath(folder, O_PATH | O_DIRECTORY);
}

int FileRoot::remove(const std::string& name) const {
    if (!confined()) return std::remove(name.c_str());
    std::string last;
    const int parent = openParent(name, last);
    if (parent < 0) return -1;
    int rc = ::unlinkat(parent, last.c_str(), 0);
    if (rc != 0 && errno == EISDIR) rc = ::unlinkat(parent, last.c_str(), AT_REMOVEDIR);
    closeKeepingErrno(parent);
    return rc;
}

int FileRoot::rename(const std::string& from, const std::string& to) const {
    if (!confined()) return std::rename(from.c_str(), to.c_str());
    std::string fromLast;
    std::string toLast;
    const int fromParent = openParent(from, fromLast);
    if (fromParent < 0) return -1;
    const int toParent = openParent(to, toLast);
    if (toParent < 0) {
        closeKeepingErrno(fromParent);
        return -1;
    }
    const int rc = ::renameat(fromParent, fromLast.c_str(), toParent, toLast.c_str());
    closeKeepingErrno(fromParent);
    closeKeepingErrno(toParent);
    return rc;
}

}  // namespace tov::semihost
