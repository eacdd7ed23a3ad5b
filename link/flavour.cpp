// The two flavours of the link: the library's and the RDI library's.
#include "link/flavour.h"

#include "link/error_codes.h"

namespace tov::link {

const LinkFlavour& libraryFlavour() {
    static const LinkFlavour flavour{
        .errorTable = libraryErrorTable(),
        .closeBeforeOpen = true,
        .lastPingFailure = 0,
        .netEventPollMs = 0,
        .runControlWaitMs = 3000,
        .resetAlwaysZero = false,
        .fpRegistersAsWords = false,
        .extendedTargetRequests = true,
    };
    return flavour;
}

const LinkFlavour& rdiFlavour() {
    static const LinkFlavour flavour{
        .errorTable = rdiErrorTable(),
        .closeBeforeOpen = false,
        .lastPingFailure = kSetupFailed,
        .netEventPollMs = 50,
        .runControlWaitMs = 100,
        .resetAlwaysZero = true,
        .fpRegistersAsWords = true,
        .extendedTargetRequests = false,
    };
    return flavour;
}

}  // namespace tov::link
