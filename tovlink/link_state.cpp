// Module-level state of the library.
#include "tovlink/link_state.h"

namespace tov::lib {

link::LinkContext& linkState() {
    static link::LinkContext state(link::libraryFlavour());
    return state;
}

target::TargetLink& targetLink() {
    static target::TargetLink target(linkState());
    return target;
}

}  // namespace tov::lib
