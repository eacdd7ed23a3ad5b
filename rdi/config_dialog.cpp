// The configuration dialog's logic over the debugger's configuration object.
#include "rdi/config_dialog.h"

#include "rdi/config_table.h"

namespace tov::rdi {

void ConfigDialogModel::load(const ConfigTable* config) {
    const char* host = configLookup(config, "ETHERNETTARGET");
    const char* path = configLookup(config, "COMMANDPATH");
    port_ = static_cast<int>(configInteger(config, "SERIALPORT", 1));
    speed_ = static_cast<int>(configInteger(config, "SERIALLINESPEED", 9600));
    startup_ = static_cast<int>(configInteger(config, "TOVSTARTUP", 0));
    networkTarget_ = host ? host : kDefaultHost;
    commandPath_ = path ? path : "";
}

int ConfigDialogModel::checkedChannel() const {
    return port_ >= 1 && port_ <= 4 ? port_ - 1 : kChannels - 1;
}

int ConfigDialogModel::checkedSpeed() const {
    for (int i = 1; i < 5; ++i) {
        if (speed_ == kSpeeds[i]) return i;
    }
    return 0;
}

void ConfigDialogModel::confirm(int channel, int speed, bool halt, const std::string& networkTarget,
                                const std::string& commandPath) {
    port_ = channel >= 0 && channel < 4 ? channel + 1 : 0;
    speed_ = speed >= 0 && speed < 5 ? kSpeeds[speed] : kSpeeds[0];
    startup_ = halt ? 1 : 0;
    networkTarget_ = networkTarget;
    commandPath_ = commandPath;
}

void ConfigDialogModel::store(ConfigTable* config) const {
    configUpdate(config, "ETHERNETTARGET", networkTarget_.c_str());
    configUpdate(config, "COMMANDPATH", commandPath_.c_str());
    configUpdateInteger(config, "SERIALPORT", port_);
    configUpdateInteger(config, "SERIALLINESPEED", speed_);
    configUpdateInteger(config, "TOVSTARTUP", startup_);
}

}  // namespace tov::rdi
