// Defaults of the setup document.
#include "setup/tov_doc.h"

#include "setup/connection_parameters.h"

namespace tov::setup {

void CTovDoc::deleteContents() {
    comm = CommSettings{};
    loaderBaudIndex = 0;
    loaderChannel = 0;
    subnetMask = "255.255.255.255";
    gateway = "255.255.255.255";
    mode = WorkingMode{};
    textFileName.clear();
    initList.removeAll();
    memAccessSize = 1;
    memAddress = 0;
    rebuildConnectionParameters();
}

void CTovDoc::rebuildConnectionParameters() const {
    buildConnectionParameters(comm.channel, comm.baudIndex, comm.ipAddress);
}

}  // namespace tov::setup
