// Module-level state of the library.
#include "tovlink/link_state.h"

namespace tov::lib {

link::LinkContext& linkState() {
    static link::LinkContext state(link::libraryFlavour());
    return state;
}

target::TargetLink& targetLink() {
    static target::TargetLink& target = [] () -> target::TargetLink& {
        static target::TargetLink instance(linkState());
        // A reset target has forgotten the write mode the files functions think it is in.
        instance.setTargetResetHook([] { filesSession().targetWasReset(); });
        return instance;
    }();
    return target;
}

files::FilesSession& filesSession() {
    static files::FilesSession session(linkState(), targetLink());
    return session;
}

}  // namespace tov::lib
