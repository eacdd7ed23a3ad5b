// The differences between the library's link and the RDI library's copy of it, as data.
#pragma once

#include <cstdint>
#include <span>

#include "link/error_table.h"

namespace tov::link {

struct LinkFlavour {
    // The texts of the error codes.
    std::span<const ErrorTextEntry> errorTable;
    // A new open closes a connection that is still open.
    bool closeBeforeOpen;
    // Failure code of the last link ping of a negotiation run; 0 keeps the transport's own.
    int32_t lastPingFailure;
    // How long the event poll waits for a datagram on the network.
    uint32_t netEventPollMs;
    // Extra wait of the start, halt and state requests.
    uint32_t runControlWaitMs;
    // Reset always sends the value 0.
    bool resetAlwaysZero;
    // Floating-point registers travel as pairs of host 32-bit words instead of raw bytes.
    bool fpRegistersAsWords;
    // Startup, debug clock speed, vector register and single-item memory requests exist.
    bool extendedTargetRequests;
};

const LinkFlavour& libraryFlavour();
const LinkFlavour& rdiFlavour();

}  // namespace tov::link
