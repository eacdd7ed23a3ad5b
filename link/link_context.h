// One connection to one probe: open, framed and retried transactions, event collection.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/clock.h"
#include "link/flavour.h"
#include "link/frame_header.h"
#include "link/serial_device.h"
#include "link/transport.h"

namespace tov::link {

class SerialTransport;

// Counters of what the connection did on the wire, for tools and soak tests.
struct LinkStats {
    uint64_t transactions = 0;
    uint64_t sends = 0;          // frames sent by transactions, resends included
    uint64_t resends = 0;        // sends beyond the first of a transaction
    uint64_t eventFrames = 0;    // event frames absorbed while waiting for an answer
    uint64_t staleAnswers = 0;   // answers dropped for their sequence bits
};

class LinkContext {
public:
    explicit LinkContext(const LinkFlavour& flavour,
                         SerialDeviceFactory& devices = termiosDeviceFactory(),
                         Clock& clock = systemClock());
    ~LinkContext();
    LinkContext(const LinkContext&) = delete;
    LinkContext& operator=(const LinkContext&) = delete;

    // Opens the serial device at `path` and negotiates `wantedRate` (up to three runs).
    int32_t openSerial(const std::string& path, uint32_t wantedRate);
    // Adopts an already opened transport (the network transport, or a test's own).
    void adopt(std::unique_ptr<Transport> transport);
    // Closes the port or socket if one is open; harmless when closed.
    void close();
    bool isOpen() const { return transport_ != nullptr; }

    // Sends one request and waits for its answer: the answer length, or a negative code.
    int32_t transaction(std::span<const uint8_t> request, std::span<uint8_t> answer,
                        int32_t extraTimeout);
    // Returns and clears the event bits, polling the transport once for a waiting event frame;
    // on the network the poll waits at most `maxWaitMs` (the flavour's wait when that is less).
    uint8_t takePendingEvents(uint32_t maxWaitMs = kFullEventPollWait);
    static constexpr uint32_t kFullEventPollWait = UINT32_MAX;
    void setNetFrameType() { frameType_ = kFrameTypeNet; }

    const LinkFlavour& flavour() const { return flavour_; }
    Clock& clock() { return clock_; }
    const LinkStats& stats() const { return stats_; }
    // Current serial line rate, or 0 on a network connection or when closed.
    uint32_t lineRate() const;
    uint8_t frameType() const { return frameType_; }

    // For the bulk download, which drives the transport itself with the same headers.
    Transport* transport() { return transport_.get(); }
    uint8_t takeSequence() { return sequence_++; }
    // When the transport's port has gone away: marks the connection failed for good (until it
    // is opened again), says which port and why, and returns -1003; otherwise 0.
    int32_t checkLost();

private:
    void resetSession();

    const LinkFlavour& flavour_;
    SerialDeviceFactory& devices_;
    Clock& clock_;
    std::unique_ptr<Transport> transport_;
    SerialTransport* serial_ = nullptr;  // transport_ when it is the serial line
    uint8_t frameType_ = kFrameTypeCommand;
    uint8_t sequence_ = 0;
    int32_t stickyError_ = 0;
    std::string portName_;  // the serial device path, to name it when it goes away
    std::string lostDetail_;
    uint8_t pendingEvents_ = 0;
    LinkStats stats_;
    uint8_t txBuffer_[kHeaderSize + kMaxMessage];
    uint8_t rxBuffer_[kHeaderSize + kMaxMessage];
};

}  // namespace tov::link
