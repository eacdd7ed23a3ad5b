// The program icon from the resources.
#include "setup/program_icon.h"

// The resources live in a static library, so they are registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(tovsetup);
}

namespace tov::setup {

void ensureResources() {
    static const bool done = (initResources(), true);
    (void)done;
}

QIcon programIcon() {
    ensureResources();
    return QIcon(":/tovsetup/tovsetup.png");
}

}  // namespace tov::setup
