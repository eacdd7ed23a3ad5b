// One GDB client's session: the remote protocol's requests carried out on the probe, with the
// program's semihosting calls served while it runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gdb/channel.h"
#include "gdb/flash_programmer.h"
#include "gdb/memory_map.h"
#include "gdb/packet.h"
#include "gdb/points.h"
#include "gdb/probe.h"
#include "gdb/registers.h"
#include "semihost/service.h"

namespace tov::gdb {

// What the client's last load wrote: the memory, and the core registers (r0..r15, CPSR) it left,
// the entry PC, stack and CPSR. The server keeps them across sessions; run and reset put them
// back, so that a program starts again with its initial data as well as at its entry.
struct LoadedRegisters {
    std::optional<std::array<uint32_t, kCoreRegisterCount>> values;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> memory;
};

struct SessionOptions {
    // The largest packet the server takes (and tells the client in qSupported).
    size_t packetSize = 0x4000;
    // The memory map the client gets (empty: no map offered).
    std::vector<MemoryRegion> memoryMap;
    // Programs the map's flash ranges for the vFlash packets (none: the packets are unknown).
    FlashProgrammer* flash = nullptr;
    // Where the registers of the last load are kept (none: run and reset leave the PC at the
    // reset vector).
    LoadedRegisters* loaded = nullptr;
    // Detach leaves the target halted instead of running it on.
    bool detachHalt = false;
};

// How a session ended.
enum class SessionEnd { Detached, Killed, Gone };

class Session {
public:
    // `service` serves the program's semihosting calls; `stopRequest` is the one it watches,
    // raised by the client's interrupt byte.
    Session(Probe& probe, semihost::Service& service, std::atomic<bool>& stopRequest,
            Channel& channel, SessionOptions options = {});

    // Serves the client until it leaves; every point it set is deleted from the probe then,
    // whichever way the session ended.
    SessionEnd serve();

private:
    struct Reply {
        std::string text;
        bool send = true;
    };

    SessionEnd serveClient();
    void endSession(SessionEnd end);
    bool sendPacket(const std::string& payload);
    bool sendConsole(const std::string& text);
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
    std::string monitorReset(const std::string& how, int32_t& status);
    std::string processPacket(const std::string& packet, bool& reply);
    // Resets the target and puts back the registers of the last load; a new process.
    int32_t restart();
    // The program ended (exit code or signal reply): the probe keeps none of its points.
    std::string processEnded(const std::string& reply);
    void rememberLoad();
    void startLoad();
    void keepLoadWrite(uint32_t address, std::vector<uint8_t> bytes);
    // session_flash.cpp
    std::string flashErase(const std::string& args);
    std::string flashWrite(const std::string& args);
    std::string flashDone();
    const MemoryRegion* flashRegion(uint32_t address, uint64_t length) const;
    std::string vCont(const std::string& args);
    std::string resume();
    std::string stepOnce();
    std::string stopReply(uint16_t state, uint32_t cause, const uint32_t* values, uint16_t count);
    // A probe error while the client waits for a stop reply: its text to the console, then E01.
    std::string failure(int32_t code);
    // A probe error as the reply to any other packet: "E." and its text, which GDB shows.
    std::string errorReply(int32_t code);

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
    PointSet points_;
    RegisterAccess registers_;
    // Whether a program is there to debug: none after it exited or was killed, until the next
    // run or attach; the '?' reply then says how it ended.
    bool process_ = true;
    std::string endReply_ = "W00";
    // Memory was written since the last run: a register write now is the end of a load. The
    // writes so far, and their size.
    bool loadWrites_ = false;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> loadImage_;
    size_t loadImageBytes_ = 0;
    // Flash erases and writes gathered until vFlashDone, and the bytes of the writes.
    FlashBatch flashBatch_;
    uint64_t flashBuffered_ = 0;
};

}  // namespace tov::gdb
