// A scripted GDB client for session tests: its packets arrive at once, then it goes away.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gdb/channel.h"
#include "gdb/packet.h"

namespace tov::gdb {

// The whole script arrives at once; then the client goes away.
class ScriptedChannel : public Channel {
public:
    explicit ScriptedChannel(const std::vector<std::string>& packets) {
        for (const std::string& packet : packets) script_ += framePacket(packet);
    }
    bool send(std::string_view bytes) override {
        sent_ += bytes;
        return true;
    }
    bool receive(std::string& bytes, int) override {
        if (script_.empty()) return false;
        bytes += script_;
        script_.clear();
        return true;
    }
    // The payloads of the packets the session sent, in order.
    std::vector<std::string> replies() const {
        PacketReader reader(1 << 16);
        std::vector<Incoming> got;
        reader.feed(sent_, got);
        std::vector<std::string> payloads;
        for (const Incoming& in : got) {
            if (in.kind == Incoming::Kind::Packet) payloads.push_back(in.payload);
        }
        return payloads;
    }

private:
    std::string script_;
    std::string sent_;
};

}  // namespace tov::gdb
