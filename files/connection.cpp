// Wiring of the per-connection record.
#include "files/connection.h"

#include "link/error_table.h"

namespace tov::files {

Connection::Connection(const link::LinkFlavour& flavour, link::SerialDeviceFactory& devices,
                       link::Clock& clock)
    : link_(flavour, devices, clock), target_(link_), files_(link_, target_) {
    target_.setTargetResetHook([this] { files_.targetWasReset(); });
}

const char* Connection::errorText(int32_t code, char* scratch, size_t scratchSize) const {
    return link::errorText(link_.flavour().errorTable, code, scratch, scratchSize);
}

}  // namespace tov::files
