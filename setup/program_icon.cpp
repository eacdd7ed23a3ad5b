// The program icon from the resources.
#include "setup/program_icon.h"

namespace tov::setup {

QIcon programIcon() {
    return QIcon(":/tovsetup/tovsetup.png");
}

}  // namespace tov::setup
