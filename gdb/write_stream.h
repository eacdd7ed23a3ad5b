// GDB's memory writes in a row (as its load sends them) carried through the probe's bulk
// download, several blocks in flight, instead of one answered write per packet.
#pragma once

#include <cstdint>
#include <span>

#include "gdb/probe.h"

namespace tov::gdb {

// A write of at least kMinimum bytes opens the stream (a small write, such as a variable's,
// goes on its own as before); the writes that follow join it; any other packet, or a small
// write, closes it first. Each write is answered at once; a failure of the stream is reported
// by the write that finds it, or at the latest by the packet that closes the stream.
class WriteStream {
public:
    static constexpr size_t kMinimum = 1024;

    explicit WriteStream(Probe& probe) : probe_(probe) {}
    ~WriteStream() { close(); }
    WriteStream(const WriteStream&) = delete;
    WriteStream& operator=(const WriteStream&) = delete;

    // Writes the bytes, through the stream when they qualify; 0 or the probe's error code.
    int32_t write(uint32_t address, std::span<const uint8_t> data);
    // Ends an open stream and waits for its blocks: 0, or the first failure since it opened.
    int32_t close();
    bool open() const { return open_; }

private:
    Probe& probe_;
    bool open_ = false;
    int32_t failure_ = 0;  // the stream's first failure, held until it is reported
};

}  // namespace tov::gdb
