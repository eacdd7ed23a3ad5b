// The GDB server's process model and monitor commands: run, restart, kill and attach as GDB
// expects of an embedded extended-remote server (the target is the one process; a run resets it
// and puts back the registers of the last load), and the server's own monitor commands before
// the probe's command interpreter.
#include <cstdio>

#include "gdb/session.h"

namespace tov::gdb {
namespace {

constexpr uint16_t kPcIndex = 15;

constexpr const char* kHelp =
    "Commands of the server:\n"
    "  reset [halt]    reset the target, put back the registers of the last load, stay halted\n"
    "  reset run       the same, then run the target\n"
    "  halt            halt the target\n"
    "  resume          run the target (GDB still takes it for halted)\n"
    "  points          the break- and watchpoints this session holds in the probe\n"
    "  probe TEXT      TEXT to the probe's command interpreter (probe help: its commands)\n"
    "  help            this list\n"
    "Any other text goes to the probe's command interpreter as it is.\n";

std::string hexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

int32_t Session::restart() {
    loadWrites_ = false;
    int32_t status = probe_.reset();
    if (options_.loaded != nullptr) {
        for (const auto& [address, bytes] : options_.loaded->memory) {
            if (status != 0) break;
            status = probe_.memoryWrite(address, static_cast<uint16_t>(bytes.size()), bytes.data());
        }
    }
    if (status == 0 && options_.loaded != nullptr && options_.loaded->values) {
        RegisterDescriptor registers[kCoreRegisterCount];
        int32_t values[kCoreRegisterCount];
        for (uint16_t i = 0; i < kCoreRegisterCount; ++i) {
            registers[i] = i < 16 ? RegisterDescriptor{600, i} : RegisterDescriptor{601, 0};
            values[i] = static_cast<int32_t>((*options_.loaded->values)[i]);
        }
        status = probe_.registerSet(kCoreRegisterCount, registers, values);
    }
    if (status == 0) process_ = true;
    return status;
}

std::string Session::processEnded(const std::string& reply) {
    // GDB takes the points of an ended program as gone and sends no packets to remove them.
    points_.removeAll();
    process_ = false;
    endReply_ = reply;
    return reply;
}

std::string Session::processPacket(const std::string& packet, bool& reply) {
    if (packet == "k") {
        probe_.halt();
        processEnded("X09");
        end_ = SessionEnd::Killed;
        reply = false;
        return "";
    }
    if (packet.starts_with("vKill")) {
        if (const int32_t status = probe_.halt(); status != 0 && process_) return errorReply(status);
        processEnded("X09");
        return "OK";
    }
    if (packet.starts_with("R")) {
        // The restart packet takes no reply.
        reply = false;
        restart();
        return "";
    }
    if (packet.starts_with("vRun;")) {
        if (const int32_t status = restart(); status != 0) return errorReply(status);
        return "S05";
    }
    // vAttach: the halted target is the process.
    process_ = true;
    return handle("?").text;
}

std::string Session::monitorReset(const std::string& how, int32_t& status) {
    if (how != "" && how != "halt" && how != "run") {
        status = -1;
        return "usage: monitor reset [halt|run]\n";
    }
    status = restart();
    if (status == 0 && how == "run") status = probe_.start();
    if (status != 0) return "";
    if (how == "run") return "target reset and running\n";
    const std::optional<std::string> pc = registers_.read(kPcIndex);
    std::vector<uint8_t> bytes;
    uint32_t value = 0;
    if (pc && fromHex(*pc, bytes) && bytes.size() == 4)
        value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    return "target reset, halted at " + hexWord(value) +
           (options_.loaded != nullptr && options_.loaded->values
                ? " (the entry of the last load)\n"
                : "\n");
}

std::string Session::monitor(const std::string& hex) {
    std::vector<uint8_t> bytes;
    if (!fromHex(hex, bytes)) return "E01";
    const std::string text(bytes.begin(), bytes.end());
    const size_t space = text.find(' ');
    const std::string word = text.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : text.substr(space + 1);
    int32_t status = 0;
    std::string reply;
    if (word == "reset") {
        reply = monitorReset(rest, status);
    } else if (text == "halt") {
        status = probe_.halt();
        if (status == 0) reply = "target halted\n";
    } else if (text == "resume") {
        status = probe_.start();
        if (status == 0) reply = "target running\n";
    } else if (text == "points") {
        reply = points_.describe();
    } else if (text == "help") {
        reply = kHelp;
    } else {
        status = probe_.directCommand(word == "probe" ? rest : text, reply);
        if (!reply.empty() && reply.back() != '\n') reply += '\n';
    }
    if (status < 0 && reply.empty()) reply = probe_.errorText(status) + "\n";
    sendConsole(reply);
    return status < 0 ? "E01" : "OK";
}

}  // namespace tov::gdb
