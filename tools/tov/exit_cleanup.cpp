// The registry of things to undo on a signal, in plain storage a signal handler may read: each
// slot is filled before it is published with one atomic store, and the handler only reads.
#include "exit_cleanup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace tov::cli {
namespace {

enum class Kind : int { kFree, kPath, kChild };

struct Slot {
    std::atomic<Kind> kind{Kind::kFree};
    pid_t pid = -1;
    char path[4096] = {};
};

std::array<Slot, 8> slots;

CleanupSlot take(const char* path, pid_t pid) {
    const size_t length = path ? std::strlen(path) : 0;
    if (length >= sizeof slots[0].path) return -1;
    for (size_t i = 0; i < slots.size(); ++i) {
        Slot& slot = slots[i];
        if (slot.kind.load() != Kind::kFree) continue;
        slot.pid = pid;
        if (path) std::memcpy(slot.path, path, length + 1);
        slot.kind.store(path ? Kind::kPath : Kind::kChild);
        return static_cast<CleanupSlot>(i);
    }
    return -1;
}

}  // namespace

CleanupSlot cleanupPath(const std::string& path) {
    return take(path.c_str(), -1);
}

CleanupSlot cleanupChild(pid_t pid) {
    return pid > 0 ? take(nullptr, pid) : -1;
}

void forgetCleanup(CleanupSlot slot) {
    if (slot >= 0 && static_cast<size_t>(slot) < slots.size()) {
        slots[static_cast<size_t>(slot)].kind.store(Kind::kFree);
    }
}

void runCleanup() {
    const int savedErrno = errno;
    // Children first: a simulator holds the files of its folder.
    for (Slot& slot : slots) {
        if (slot.kind.load() != Kind::kChild) continue;
        ::kill(slot.pid, SIGTERM);
        while (::waitpid(slot.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        slot.kind.store(Kind::kFree);
    }
    for (size_t i = slots.size(); i-- > 0;) {
        Slot& slot = slots[i];
        if (slot.kind.load() != Kind::kPath) continue;
        if (::unlink(slot.path) != 0 && errno == EISDIR) ::rmdir(slot.path);
        slot.kind.store(Kind::kFree);
    }
    errno = savedErrno;
}

}  // namespace tov::cli
