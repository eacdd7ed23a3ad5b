// One GDB client's session: the remote protocol's requests carried out on the probe, with the
// program's semihosting calls served while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "gdb/channel.h"
#include "gdb/flash_programmer.h"
#include "gdb/memory_map.h"
#include "gdb/packet.h"
#include "gdb/probe.h"
#include "semihost/service.h"

namespace tov::gdb {

struct SessionOptions {
    // The largest packet the server takes (and tells the client in qSupported).
    size_t packetSize = 0x4000;
    // The memory map the client gets (empty: no map offered).
    std::vector<MemoryRegion> memoryMap;
    // Programs the map's flash ranges for the vFlash packets (none: the packets are unknown).
    FlashProgrammer* flash = nullptr;
};

// How a session ended.
enum class SessionEnd { Detached, Killed, Gone };

class Session {
public:
    // `service` serves the program's semihosting calls; `stopRequest` is the one it watches,
    // raised by the client's interrupt byte.
    Session(Probe& probe, semihost::Service& service, std::atomic<bool>& stopRequest,
            Channel& channel, SessionOptions options = {});

    SessionEnd serve();

private:
    struct Reply {
        std::string text;
        bool send = true;
    };

    bool sendPacket(const std::string& payload);
    // Reads the client's input; false when it has gone.
    bool pump(int timeoutMs);
    Reply handle(const std::string& packet);

    std::string readRegisters();
    std::string writeRegisters(const std::string& hex);
    std::string readRegister(const std::string& args);
    std::string writeRegister(const std::string& args);
    std::string readMemory(const std::string& args);
    std::string writeMemory(const std::string& args, bool binary);
    std::string point(const std::string& packet, bool insert);
    std::string query(const std::string& packet);
    std::string transfer(const std::string& document, const std::string& args);
    std::string monitor(const std::string& hex);
    // session_flash.cpp
    std::string flashErase(const std::string& args);
    std::string flashWrite(const std::string& args);
    std::string flashDone();
    const MemoryRegion* flashRegion(uint32_t address, uint64_t length) const;
    std::string vCont(const std::string& args);
    std::string resume();
    std::string stepOnce();
    std::string stopReply(uint16_t state, uint32_t cause, const uint32_t* values,
                          uint16_t count);
    std::string failure(int32_t code);

    Probe& probe_;
    semihost::Service& service_;
    std::atomic<bool>& stopRequest_;
    Channel& channel_;
    SessionOptions options_;
    std::string memoryMap_;
    PacketReader reader_;
    std::vector<Incoming> pending_;
    bool ackMode_ = true;
    std::string lastSent_;
    std::optional<SessionEnd> end_;
    // Points the client set: (type, address, length) -> probe identifier.
    std::map<std::tuple<char, uint32_t, uint32_t>, int32_t> points_;
    // Flash erases and writes gathered until vFlashDone, and the bytes of the writes.
    FlashBatch flashBatch_;
    uint64_t flashBuffered_ = 0;
};

}  // namespace tov::gdb
