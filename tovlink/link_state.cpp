// Module-level state of the library.
#include "tovlink/link_state.h"

namespace tov::lib {
namespace {

void (*progressFn)(uint32_t, uint32_t, void*) = nullptr;
void* progressUser = nullptr;

}  // namespace

void setProgressCallback(void (*fn)(uint32_t done, uint32_t total, void* user), void* user) {
    progressFn = fn;
    progressUser = user;
}

void reportProgress(uint64_t done, uint64_t total) {
    if (progressFn) progressFn(static_cast<uint32_t>(done), static_cast<uint32_t>(total), progressUser);
}

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
    static files::FilesSession& session = []() -> files::FilesSession& {
        static files::FilesSession instance(linkState(), targetLink());
        instance.setProgressHook(reportProgress);
        return instance;
    }();
    return session;
}

}  // namespace tov::lib
