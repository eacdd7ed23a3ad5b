// Module-level state of the library.
#include "tovlink/link_state.h"

namespace tov::lib {

link::LinkContext& linkState() {
    static link::LinkContext state(link::libraryFlavour());
    return state;
}

}  // namespace tov::lib
