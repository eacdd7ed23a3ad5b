// The probe's in-system-programmable logic device: geometry per model, fuse rows, the user
// electronic signature (UES) that carries the logic version, and hooks that make it misbehave.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_options.h"

namespace tov::sim {

// Device ID, fuse rows and UES size of one model's logic device.
struct LogicGeometry {
    uint8_t deviceId;
    uint16_t rows;
    uint16_t fusesPerRow;
    uint16_t uesBits;
    uint8_t bitsPerCharacter;  // of the UES text: 8, or 4 (hexadecimal digits) on the TOV-X
};

const LogicGeometry& logicGeometry(ProbeModel model);

// The UES text for a version number ("TQV01E4012" padded to 15 on the TOV-B, "TQA01E4012" on
// the TOV-A, "TQX01E4012" on the TOV-X) and its bit text as the device holds it.
std::string uesText(ProbeModel model, uint32_t versionNumber);
std::string uesBits(ProbeModel model, uint32_t versionNumber);

// The logic device. Fuses read '1' when erased; programming a row or the UES can only turn
// '1's into '0's, so programming without an erase reads back wrong, as on the real part.
class LogicDevice {
public:
    explicit LogicDevice(ProbeModel model);

    const LogicGeometry& geometry() const { return *geometry_; }

    // The device ID it reports (the model's, unless a hook says otherwise).
    uint8_t deviceId() const { return reportedId_.value_or(geometry_->deviceId); }
    void erase();
    // A row as '0'/'1' text of exactly the row's length; false for a bad row number or text.
    bool programRow(size_t row, std::string_view fuses);
    // Both read-backs of a row, one after the other; nothing for a bad row number.
    std::optional<std::string> readRow(size_t row) const;
    bool programUes(std::string_view bits);
    std::string readUes() const;

    // The version number in the UES, or nothing when it holds no readable version.
    std::optional<uint32_t> uesVersion() const;
    // What Read versions reports as the logic version word: the UES's version number, 0 when it
    // holds none.
    uint16_t versionWord() const;

    // Test hooks. A broken row reads back with its first fuse inverted in the given reading
    // (0 = first, 1 = second); a broken UES reads back with its last bit inverted.
    void breakRowReadBack(size_t row, int reading) { brokenRow_ = {row, reading}; }
    void breakUesReadBack(bool broken) { brokenUes_ = broken; }
    void reportDeviceId(std::optional<uint8_t> id) { reportedId_ = id; }
    void clearHooks();

    // The fuse state for persistence: rows and UES as text.
    const std::vector<std::string>& rows() const { return rows_; }
    const std::string& ues() const { return ues_; }
    bool restore(std::vector<std::string> rows, std::string ues);

private:
    ProbeModel model_;
    const LogicGeometry* geometry_;
    std::vector<std::string> rows_;
    std::string ues_;
    std::optional<std::pair<size_t, int>> brokenRow_;
    bool brokenUes_ = false;
    std::optional<uint8_t> reportedId_;
};

// A device as shipped: a fuse pattern in every row and the UES of `versionNumber`.
LogicDevice factoryLogic(ProbeModel model, uint32_t versionNumber);

}  // namespace tov::sim
