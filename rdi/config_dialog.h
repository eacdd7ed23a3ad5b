// The "TOV Configuration" dialog as plain logic: loading the five keys into working copies,
// the choices the controls show, reading them back, and writing the keys.
#pragma once

#include <cstddef>
#include <string>

#include "include/tovrdi.h"

namespace tov::rdi {

class ConfigDialogModel {
public:
    static constexpr const char* kDefaultHost = "TOV-B01";
    static constexpr size_t kNetworkTargetCapacity = 23;
    static constexpr size_t kCommandPathCapacity = 259;
    static constexpr int kChannels = 5;  // COM1..COM4, Network
    static constexpr int kSpeeds[5] = {9600, 19200, 38400, 57600, 115200};

    // Reads the keys with their defaults; an absent network target shows the default host.
    void load(const ConfigTable* config);

    // Which radio button each group shows checked: channel 0..3 for COM1..COM4, 4 for Network;
    // speed index into kSpeeds (9600 for any unlisted rate); Halt or Reset.
    int checkedChannel() const;
    int checkedSpeed() const;
    bool haltChecked() const { return startup_ != 0; }
    const std::string& networkTarget() const { return networkTarget_; }
    const std::string& commandPath() const { return commandPath_; }

    // OK: takes the controls' state. The fields limit typing to their capacity; a longer text
    // that was configured before is kept whole (never cut), and opening the agent refuses it.
    void confirm(int channel, int speed, bool halt, const std::string& networkTarget,
                 const std::string& commandPath);

    // Writes the five keys back, each replacing its old value.
    void store(ConfigTable* config) const;

    int port() const { return port_; }
    int speed() const { return speed_; }
    int startup() const { return startup_; }

private:
    int port_ = 1;
    int speed_ = 9600;
    int startup_ = 0;
    std::string networkTarget_;
    std::string commandPath_;
};

// Shows the dialog over the model, owned by `parent` (a QWidget* or null), through the Qt module
// loaded on first use: 1 confirmed (or closed from the window menu: nothing read back), 0
// cancelled, -1 when the module is missing or no dialog can be shown (the reason is logged).
int showConfigDialog(ConfigDialogModel& model, void* parent);

}  // namespace tov::rdi
