// The break- and watchpoints one GDB session keeps in the probe: inserted on the client's Z
// packets, found again for its stop replies, and all deleted when the session ends, however it
// ends, so that nothing a client set outlives it in the probe's comparators.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "gdb/probe.h"

namespace tov::gdb {

// How the probe's comparator covers a watched range: a sized watch over exactly the range, or an
// address-mask watch over the smallest aligned power-of-two region around it.
struct WatchCover {
    uint16_t mode = 0;  // the sized (0x40) or masked (0x80) bit
    uint32_t address = 0;
    uint32_t bound = 0;  // the access size, or the mask of the bits that do not count
};

// The covering region, or nothing (with the reason in `why`) when no comparator covers it.
std::optional<WatchCover> watchCover(uint32_t address, uint32_t length, std::string& why);

class PointSet {
public:
    explicit PointSet(Probe& probe) : probe_(probe) {}
    ~PointSet() { removeAll(); }
    PointSet(const PointSet&) = delete;
    PointSet& operator=(const PointSet&) = delete;

    // `type` is the Z packet's '0'..'4', `kind` its third field (an instruction size or the
    // watched length). False when the probe refused; `why` then says why when the probe was not
    // even asked.
    bool insert(char type, uint32_t address, uint32_t kind, std::string& why);
    bool remove(char type, uint32_t address, uint32_t kind);
    // Deletes every point from the probe; how many were there.
    size_t removeAll();

    // The watchpoint the probe reported by its identifier: its Z type and start address.
    std::optional<std::pair<char, uint32_t>> watchpoint(int32_t id) const;
    // One line per point, for the user.
    std::string describe() const;

private:
    using Key = std::tuple<char, uint32_t, uint32_t>;
    static Key key(char type, uint32_t address, uint32_t kind);

    Probe& probe_;
    std::map<Key, int32_t> points_;  // -> the probe's identifier
};

// Deletes the points an earlier process left in the probe (identifiers 1 up to this many of each
// kind); how many it found.
constexpr int32_t kLeftoverSweep = 64;
size_t removeLeftoverPoints(Probe& probe);

}  // namespace tov::gdb
