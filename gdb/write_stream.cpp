// The write stream: opened by a large write, fed by the writes after it, closed and waited for
// before anything else reaches the probe.
#include "gdb/write_stream.h"

namespace tov::gdb {

int32_t WriteStream::write(uint32_t address, std::span<const uint8_t> data) {
    const bool large = data.size() >= kMinimum && probe_.canDownload();
    if (!large) {
        if (const int32_t failed = close()) return failed;
        return probe_.memoryWrite(address, static_cast<uint16_t>(data.size()), data.data());
    }
    if (!open_) {
        if (const int32_t failed = probe_.downloadBegin()) return failed;
        open_ = true;
        failure_ = 0;
    }
    if (failure_ == 0) {
        failure_ = probe_.download(address, static_cast<uint16_t>(data.size()), data.data());
    }
    if (failure_ == 0) return 0;
    // The failure is reported now; the stream is closed so the probe is free again.
    const int32_t failed = failure_;
    close();
    return failed;
}

int32_t WriteStream::close() {
    if (!open_) return 0;
    open_ = false;
    const int32_t ended = probe_.downloadEnd();
    const int32_t failed = failure_ != 0 ? failure_ : ended;
    failure_ = 0;
    return failed;
}

}  // namespace tov::gdb
