// Bulk download: data blocks sent raw through the link's transport with up to three in flight,
// acknowledged cumulatively by the probe, compressed on a serial link.
#pragma once

#include <cstdint>
#include <functional>

#include "files/lzss_encoder.h"
#include "link/frame_header.h"
#include "link/link_context.h"

namespace tov::files {

class Download {
public:
    explicit Download(link::LinkContext& link) : link_(link) {}

    // Starts a download: sends the start request and takes the probe's window, block size and
    // acknowledgement time-out. Compression is used on a serial link only.
    int32_t init(uint8_t mode, bool compress);
    // Sends data as blocks at consecutive addresses; returns the first error (which then sticks).
    int32_t send(uint32_t address, uint16_t length, const uint8_t* data);
    // Waits for every block's acknowledgement; hands out the probe's error detail.
    int32_t end(uint32_t& detail);
    // Back to the state of a fresh connection.
    void reset();

    int32_t error() const { return error_; }

    // The block the probe refused with its status byte; a status of 0 while none was refused.
    struct RefusedBlock {
        uint8_t status = 0;
        uint32_t address = 0;
        uint16_t length = 0;
    };
    const RefusedBlock& refused() const { return refused_; }
    // Called with the number of data bytes of every block handed to the transport.
    void setBlockHook(std::function<void(size_t)> hook) { onBlock_ = std::move(hook); }

private:
    static constexpr size_t kSlots = 4;
    static constexpr int kResends = 4;

    int32_t sendBlock(uint32_t address, uint16_t length, const uint8_t* data);
    // Waits for one acknowledgement: 0, -1201 after four resends, or -1206 when the probe
    // reports a failure.
    int32_t awaitAcknowledgement(int& failures);
    void resendUnacknowledged();

    link::LinkContext& link_;
    int32_t error_ = 0;
    uint32_t detail_ = 0;
    RefusedBlock refused_;
    bool compress_ = false;
    uint32_t sent_ = 0;
    uint32_t acknowledged_ = 0;
    uint8_t window_ = 1;
    uint16_t maxBlock_ = 1024;
    uint32_t ackTimeoutMs_ = 2000;
    uint8_t slots_[kSlots][link::kHeaderSize + link::kMaxMessage];
    size_t slotLength_[kSlots] = {};
    uint8_t answer_[link::kHeaderSize + link::kMaxMessage];
    LzssEncoder encoder_;
    std::function<void(size_t)> onBlock_;
};

}  // namespace tov::files
