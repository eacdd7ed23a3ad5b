// Trace lines with time stamps, written and flushed one at a time.
#include "sim/trace.h"

#include <cerrno>

namespace tov::sim {

Trace::~Trace() {
    close();
}

int Trace::open(const std::string& path) {
    close();
    std::lock_guard lock(mutex_);
    // Standard error and output are shared with the process; write to them without reopening.
    if (path == "/dev/stderr" || path == "-") {
        file_ = stderr;
        ownsFile_ = false;
    } else if (path == "/dev/stdout") {
        file_ = stdout;
        ownsFile_ = false;
    } else {
        file_ = std::fopen(path.c_str(), "w");
        if (!file_) return -errno;
        ownsFile_ = true;
    }
    start_ = std::chrono::steady_clock::now();
    return 0;
}

void Trace::close() {
    std::lock_guard lock(mutex_);
    if (file_ && ownsFile_) std::fclose(file_);
    file_ = nullptr;
    ownsFile_ = false;
}

std::string Trace::hex(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

void Trace::fromHost(std::span<const uint8_t> bytes, const std::string& remark) {
    if (!file_) return;
    line("host>", remark.empty() ? hex(bytes) : hex(bytes) + "  (" + remark + ")");
}

void Trace::toHost(std::span<const uint8_t> bytes, const std::string& remark) {
    if (!file_) return;
    line("probe>", remark.empty() ? hex(bytes) : hex(bytes) + "  (" + remark + ")");
}

void Trace::note(const std::string& text) {
    if (!file_) return;
    line("note", text);
}

void Trace::line(const char* tag, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!file_) return;
    using namespace std::chrono;
    double ms = duration<double, std::milli>(steady_clock::now() - start_).count();
    std::fprintf(file_, "%8.3f %s %s\n", ms, tag, text.c_str());
    std::fflush(file_);
}

}  // namespace tov::sim
