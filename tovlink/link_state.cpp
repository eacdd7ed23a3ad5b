// Module-level state of the library.
#include "tovlink/link_state.h"

namespace tov::lib {
namespace {

void (*progressFn)(uint32_t, uint32_t, void*) = nullptr;
void* progressUser = nullptr;
link::SerialDeviceFactory* lineDevices = nullptr;
link::Clock* lineClock = nullptr;

}  // namespace

void setProgressCallback(void (*fn)(uint32_t done, uint32_t total, void* user), void* user) {
    progressFn = fn;
    progressUser = user;
}

void reportProgress(uint64_t done, uint64_t total) {
    if (progressFn)
        progressFn(static_cast<uint32_t>(done), static_cast<uint32_t>(total), progressUser);
}

void useLine(link::SerialDeviceFactory& devices, link::Clock& clock) {
    lineDevices = &devices;
    lineClock = &clock;
}

files::Connection& connection() {
    static files::Connection& instance = []() -> files::Connection& {
        static files::Connection made(link::libraryFlavour(),
                                      lineDevices ? *lineDevices : link::termiosDeviceFactory(),
                                      lineClock ? *lineClock : link::systemClock());
        made.files().setProgressHook(reportProgress);
        return made;
    }();
    return instance;
}

link::LinkContext& linkState() {
    return connection().link();
}

target::TargetLink& targetLink() {
    return connection().target();
}

files::FilesSession& filesSession() {
    return connection().files();
}

}  // namespace tov::lib
