// One connection to one probe: the link, the target requests and the file, download and flash
// state over it, wired together once and built from a flavour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/files_session.h"
#include "link/flavour.h"
#include "link/link_context.h"
#include "target/target_link.h"

namespace tov::files {

// The per-connection record. The probe API library keeps one at module level; the RDI library
// keeps its own, with the RDI flavour. A target reset makes the files state forget the write
// mode the probe was in.
class Connection {
public:
    explicit Connection(const link::LinkFlavour& flavour,
                        link::SerialDeviceFactory& devices = link::termiosDeviceFactory(),
                        link::Clock& clock = link::systemClock());
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    link::LinkContext& link() { return link_; }
    target::TargetLink& target() { return target_; }
    FilesSession& files() { return files_; }

    // The flavour's text for a code; an unknown code is formatted into `scratch`.
    const char* errorText(int32_t code, char* scratch, size_t scratchSize) const;

private:
    link::LinkContext link_;
    target::TargetLink target_;
    FilesSession files_;
};

}  // namespace tov::files
