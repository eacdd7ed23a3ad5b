// Fuzzes the GDB packet layer: any byte stream splits into packets and control bytes within the
// size limit, and every payload the server frames is read back unchanged.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/check.h"
#include "gdb/packet.h"

using namespace tov::gdb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t limit = 1 + data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    // The stream in two pieces split where the first byte says, as a socket may deliver it.
    PacketReader reader(limit);
    std::vector<Incoming> incoming;
    const size_t split = std::min<size_t>(data[0], bytes.size());
    reader.feed(bytes.substr(0, split), incoming);
    reader.feed(bytes.substr(split), incoming);
    for (const Incoming& in : incoming) {
        if (in.kind != Incoming::Kind::Packet) continue;
        FUZZ_CHECK(in.payload.size() <= limit);
    }

    std::string body;
    decodeBody(bytes, body);
    std::vector<uint8_t> raw;
    if (fromHex(bytes, raw)) FUZZ_CHECK(toHex(raw).size() == bytes.size());
    uint32_t value = 0;
    if (parseHex32(bytes, value)) FUZZ_CHECK(bytes.size() >= 1 && bytes.size() <= 8);

    const std::string framed = framePacket(bytes);
    PacketReader back(framed.size());
    std::vector<Incoming> out;
    back.feed(framed, out);
    FUZZ_CHECK(out.size() == 1);
    FUZZ_CHECK(out[0].kind == Incoming::Kind::Packet);
    FUZZ_CHECK(out[0].payload == bytes);
    return 0;
}
