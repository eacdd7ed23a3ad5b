// The setup document: how the probe is reached, the probe's network configuration, the target
// working mode, the init list and the memory editor's remembered settings.
#pragma once

#include <cstdint>
#include <string>

#include "setup/code_list.h"

namespace tov::setup {

// The document template's names.
inline constexpr const char* kAppTitle = "TOV-B Setup for ARM11";
inline constexpr const char* kUntitled = "Untitled";
inline constexpr const char* kDefaultBaseName = "TOV Setup";
inline constexpr const char* kFileFilter = "TOV Setup (*.tov)";
inline constexpr const char* kFileExtension = ".tov";
inline constexpr const char* kFileTypeId = "TOV.Setup.ARM11";

// Channel values: 0..3 COM1..COM4, 4 and 5 the network with probe port selector 1 or 2.
inline constexpr uint32_t kChannelNetwork = 4;
inline constexpr uint32_t kChannelNetwork2 = 5;

// How the host reaches the probe; what the communication dialog edits.
struct CommSettings {
    uint32_t channel = 0;
    uint32_t baudIndex = 0;
    std::string ipAddress = "111.111.111.111";
    bool operator==(const CommSettings&) const = default;
};

// The target working mode: what the working-mode dialog and the text file carry.
struct WorkingMode {
    uint32_t startupMode = 0;
    uint32_t breakMode = 0;
    uint32_t cpuType = 0;
    uint32_t jtagClock = 3;
    uint32_t runTime = 2000;
    uint32_t trapMask = 0;
    uint32_t bigEndian = 0;
    uint32_t workspace = 0xFFFFFFFF;
    std::string setupId;
    uint32_t scanPredCount = 0;
    uint32_t scanPredIrLength = 0;
    uint32_t scanSuccCount = 0;
    uint32_t scanSuccIrLength = 0;
    bool operator==(const WorkingMode&) const = default;
};

// The one setup document of the program. Texts are kept as the bytes stored in the file.
class CTovDoc {
public:
    CTovDoc() { deleteContents(); }
    CTovDoc(const CTovDoc&) = delete;
    CTovDoc& operator=(const CTovDoc&) = delete;

    // Every field to its default, no init items, and the connection parameters rebuilt.
    void deleteContents();
    // Rebuilds the process-wide connection parameters from the document's channel settings.
    void rebuildConnectionParameters() const;

    bool isModified() const { return modified_; }
    void setModified(bool modified = true) { modified_ = modified; }

    CommSettings comm;
    uint32_t loaderBaudIndex = 0;
    uint32_t loaderChannel = 0;
    std::string subnetMask;
    std::string gateway;
    WorkingMode mode;
    std::string textFileName;
    CCodeList initList;
    uint32_t memAccessSize = 1;
    uint32_t memAddress = 0;

private:
    bool modified_ = false;
};

}  // namespace tov::setup
