// Command-line parsing of tovsim: every option's value is checked, errors name the option.
#include "sim/sim_options.h"

#include <charconv>
#include <functional>

#include "link/frame_header.h"
#include "sim/udp_endpoint.h"

namespace tov::sim {
namespace {

bool parseNumber(const std::string& text, uint64_t max, uint64_t& out) {
    if (text.empty()) return false;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    uint64_t value = 0;
    auto [stop, ec] = std::from_chars(begin, end, value, base);
    if (ec != std::errc() || stop != end || value > max) return false;
    out = value;
    return true;
}

}  // namespace

const char* modelName(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return "X";
        case ProbeModel::B:
            return "B";
        case ProbeModel::BC:
            return "BC";
        case ProbeModel::A:
            return "A";
    }
    return "?";
}

std::string usageText() {
    return "usage: tovsim [--serial PATH] [--udp ADDR] [--model B|BC|A|X] [--family N] [--cpu "
           "CODE]\n"
           "              [--rate BAUD] [--loader] [--flash-file FILE] [--trace FILE]\n"
           "              [--faults drop=P,corrupt=P,delay=MS,dup=P,stale=P,event=P,seed=N]\n"
           "              [--line-timing]\n"
           "  --serial PATH   make a pseudo-terminal and a symbolic link to it at PATH\n"
           "  --udp ADDR      answer on ADDR:2001 and ADDR:2002 (ADDR in 127.0.0.0/8)\n"
           "  --model M       probe model (default B)\n"
           "  --family N      firmware family code 0..63 (default 40)\n"
           "  --cpu CODE      CPU type code, decimal or 0x hex (default 0x8821)\n"
           "  --rate BAUD     line rate listened at first: 9600, 19200, 38400, 57600, 115200\n"
           "                  (default 9600)\n"
           "  --loader        start in the loader instead of the firmware\n"
           "  --flash-file F  keep the probe's flash in F across runs\n"
           "  --trace FILE    write every frame and fault to FILE\n"
           "  --faults LIST   misbehave: probabilities 0..1, delay in ms, seed of the draws\n"
           "  --line-timing   pace serial bytes at the line rate\n";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine result;
    SimOptions& o = result.options;
    auto fail = [&](const std::string& text) {
        if (result.error.empty()) result.error = text;
    };

    using Handler = std::function<void(const std::string& name, const std::string& value)>;
    auto valueOption = [&](const std::string& name) -> Handler {
        if (name == "--serial")
            return [&](const std::string& n, const std::string& v) {
                if (v.empty()) fail(n + " needs a path");
                o.serialPath = v;
            };
        if (name == "--udp")
            return [&](const std::string& n, const std::string& v) {
                if (!isLoopbackAddress(v))
                    fail(n + " needs an IPv4 address in 127.0.0.0/8, not '" + v + "'");
                o.udpAddress = v;
            };
        if (name == "--model")
            return [&](const std::string& n, const std::string& v) {
                if (v == "B")
                    o.model = ProbeModel::B;
                else if (v == "BC")
                    o.model = ProbeModel::BC;
                else if (v == "A")
                    o.model = ProbeModel::A;
                else if (v == "X")
                    o.model = ProbeModel::X;
                else
                    fail(n + " must be one of B, BC, A, X, not '" + v + "'");
            };
        if (name == "--family")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 63, value))
                    fail(n + " needs a family code 0..63, not '" + v + "'");
                o.family = static_cast<uint8_t>(value);
            };
        if (name == "--cpu")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 0xFFFF, value))
                    fail(n + " needs a CPU type code 0..0xFFFF, not '" + v + "'");
                o.cpu = static_cast<uint16_t>(value);
            };
        if (name == "--rate")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                bool known = false;
                if (parseNumber(v, 0xFFFFFFFF, value)) {
                    for (uint32_t rate : link::kLineRates) known = known || rate == value;
                }
                if (!known)
                    fail(n + " must be 9600, 19200, 38400, 57600 or 115200, not '" + v + "'");
                else
                    o.rate = static_cast<uint32_t>(value);
            };
        if (name == "--flash-file")
            return [&](const std::string& n, const std::string& v) {
                if (v.empty()) fail(n + " needs a file name");
                o.flashFile = v;
            };
        if (name == "--trace")
            return [&](const std::string& n, const std::string& v) {
                if (v.empty()) fail(n + " needs a file name");
                o.traceFile = v;
            };
        if (name == "--faults")
            return [&](const std::string& n, const std::string& v) {
                std::string why;
                if (!parseFaults(v, o.faults, why)) fail(n + ": " + why);
            };
        return nullptr;
    };

    for (size_t i = 0; i < args.size() && result.error.empty(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            result.help = true;
            return result;
        }
        if (name == "--loader" || name == "--line-timing") {
            if (inlineValue)
                fail(name + " takes no value");
            else if (name == "--loader")
                o.loader = true;
            else
                o.lineTiming = true;
            continue;
        }
        Handler handler = valueOption(name);
        if (!handler) {
            fail("unknown option '" + args[i] + "'");
            break;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                fail(name + " needs a value");
                break;
            }
            value = args[++i];
        }
        handler(name, value);
    }
    if (!result.error.empty()) return result;

    if (o.serialPath.empty() && o.udpAddress.empty()) {
        result.error = "give --serial PATH or --udp ADDR (or both): at least one endpoint";
    }
    return result;
}

}  // namespace tov::sim
