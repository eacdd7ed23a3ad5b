// The two flavours of the link: the library's and the RDI library's.
#include "link/flavour.h"

#include "link/error_codes.h"

namespace tov::link {

const LinkFlavour& libraryFlavour() {
    static const LinkFlavour flavour{libraryErrorTable(), true, true, 0, 0};
    return flavour;
}

const LinkFlavour& rdiFlavour() {
    static const LinkFlavour flavour{rdiErrorTable(), false, false, kSetupFailed, 50};
    return flavour;
}

}  // namespace tov::link
