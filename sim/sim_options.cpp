// Command-line parsing of tovsim: every option's value is checked, errors name the option.
#include "sim/sim_options.h"

#include <charconv>
#include <cstdio>
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

// BASE,SET,CHIPSIZE,BUSBITS,CHIPBITS[,SECTORSIZE]; an empty text when it reads, else why not.
std::string parseFlashBank(const std::string& text, FlashBankConfig& bank) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 5 && fields.size() != 6)
        return "needs BASE,SET,CHIPSIZE,BUSBITS,CHIPBITS[,SECTORSIZE], not '" + text + "'";
    uint64_t base = 0, chipSize = 0, busBits = 0, chipBits = 0, sectorSize = 0;
    const auto set = commandSetFromName(fields[1]);
    if (!parseNumber(fields[0], 0xFFFFFFFF, base)) return "bad base address '" + fields[0] + "'";
    if (!set) return "command set must be A5555, AAAAA or B, not '" + fields[1] + "'";
    if (!parseNumber(fields[2], 0xFFFFFFFF, chipSize) || chipSize == 0)
        return "bad chip size '" + fields[2] + "'";
    if (!parseNumber(fields[3], 64, busBits)) return "bad bus width '" + fields[3] + "'";
    if (!parseNumber(fields[4], 32, chipBits)) return "bad chip width '" + fields[4] + "'";
    if (fields.size() == 6 && (!parseNumber(fields[5], 0xFFFFFFFF, sectorSize) || sectorSize == 0))
        return "bad sector size '" + fields[5] + "'";
    bank = FlashBankConfig{static_cast<uint32_t>(base),     *set,
                           static_cast<uint32_t>(chipSize), static_cast<uint8_t>(busBits),
                           static_cast<uint8_t>(chipBits),  static_cast<uint32_t>(sectorSize)};
    return {};
}

// BASE:SIZE[:SECTOR]; an empty text when it reads, else why not.
std::string parseChipFlash(const std::string& text, ChipFlashConfig& chip) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (fields.size() != 2 && fields.size() != 3)
        return "needs BASE:SIZE[:SECTOR], not '" + text + "'";
    uint64_t base = 0, size = 0, sector = ChipFlashConfig{}.sectorSize;
    if (!parseNumber(fields[0], 0xFFFFFFFF, base)) return "bad base address '" + fields[0] + "'";
    if (!parseNumber(fields[1], 0xFFFFFFFF, size) || size == 0)
        return "bad size '" + fields[1] + "'";
    if (fields.size() == 3 && (!parseNumber(fields[2], 0xFFFFFFFF, sector) || sector == 0))
        return "bad sector size '" + fields[2] + "'";
    chip = ChipFlashConfig{static_cast<uint32_t>(base), static_cast<uint32_t>(size),
                           static_cast<uint32_t>(sector)};
    return {};
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
           "              [--faults drop=P,corrupt=P,delay=MS,dup=P,stale=P,event=P,hostile=P,seed=N]\n"
           "              [--line-timing] [--big-endian] [--flash-bank SPEC]... [--chip-flash SPEC]\n"
           "              [--flash-fail-erase ADDR]... [--core model|arm1136]\n"
           "              [--firmware-version N] [--loader-version N]\n"
           "       tovsim --write-update-files DIR [--firmware-version N] [--logic-version N]\n"
           "              [--model B|BC|A|X] [--family N]\n"
           "  --serial PATH   make a pseudo-terminal and a symbolic link to it at PATH\n"
           "  --udp ADDR      answer on ADDR:2001 and ADDR:2002 (ADDR in 127.0.0.0/8)\n"
           "  --model M       probe model: B, BC (TOV-B Rev.C), A or X (default B)\n"
           "  --family N      family code 0..63 of the factory firmware (default 40); a flash\n"
           "                  file's firmware reports its own\n"
           "  --cpu CODE      CPU type code, decimal or 0x hex (default 0x8821)\n"
           "  --firmware-version N\n"
           "                  version of the factory firmware within its family (default 105)\n"
           "  --loader-version N\n"
           "                  the loader version the probe reports (default the model's; 0 is\n"
           "                  a loader the setup program does not accept)\n"
           "  --rate BAUD     line rate listened at first: 9600, 19200, 38400, 57600, 115200\n"
           "                  (default 9600)\n"
           "  --loader        start in the loader instead of the firmware\n"
           "  --version       show the simulator's version\n"
           "  --flash-file F  keep the probe's own flash (firmware, setup, network record) and\n"
           "                  its logic device in F across runs; made from the factory image\n"
           "                  when F does not exist\n"
           "  --trace FILE    write every frame and fault to FILE\n"
           "  --faults LIST   misbehave: probabilities 0..1, delay in ms, seed of the draws;\n"
           "                  hostile=P answers with garbage, cut, wrong-code or oversized\n"
           "                  messages in sound frames\n"
           "  --line-timing   pace serial bytes at the line rate\n"
           "  --big-endian    the target runs big-endian\n"
           "  --flash-bank BASE,SET,CHIPSIZE,BUSBITS,CHIPBITS[,SECTORSIZE]\n"
           "                  a flash bank on the target bus (repeatable; replaces the default\n"
           "                  banks): SET is A5555, AAAAA or B; bus 8/16/32/64 bits of chips\n"
           "                  8/16/32 bits wide; sectors of 64 KiB unless given. Default:\n"
           "                  0x20000000,A5555,0x80000,32,8 and 0x30000000,B,0x100000,16,16\n"
           "  --chip-flash BASE:SIZE[:SECTOR]\n"
           "                  on-chip flash of the target that the probe programs and erases:\n"
           "                  SIZE bytes at BASE in sectors of SECTOR bytes (default 0x8000);\n"
           "                  none by default\n"
           "  --flash-fail-erase ADDR\n"
           "                  the erase of the flash sector holding ADDR fails (repeatable)\n"
           "  --core KIND     what runs the target's program: model (default; the PC only\n"
           "                  advances) or arm1136 (an emulated ARM1136 core executing the\n"
           "                  instructions in target memory)\n"
           "  --write-update-files DIR\n"
           "                  write a firmware file and a JEDEC file that the probe of --model\n"
           "                  and --family accepts into DIR (made if missing) and exit; the\n"
           "                  firmware is version --firmware-version (default 106), the logic\n"
           "                  --logic-version (default 4), each 1..255\n";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine result;
    SimOptions& o = result.options;
    auto fail = [&](const std::string& text) {
        if (result.error.empty()) result.error = text;
    };

    std::vector<FlashBankConfig> banks;  // given banks replace the default ones

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
        if (name == "--firmware-version")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 0xFFF, value))
                    fail(n + " needs a version 0..4095, not '" + v + "'");
                o.firmwareVersion = static_cast<uint16_t>(value);
                result.writtenFirmwareVersion = o.firmwareVersion;
            };
        if (name == "--logic-version")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 255, value) || value == 0)
                    fail(n + " needs a version 1..255, not '" + v + "'");
                result.logicVersion = static_cast<uint16_t>(value);
            };
        if (name == "--write-update-files")
            return [&](const std::string& n, const std::string& v) {
                if (v.empty()) fail(n + " needs a directory");
                result.updateFilesDir = v;
            };
        if (name == "--loader-version")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 0xFFFF, value))
                    fail(n + " needs a version 0..65535, not '" + v + "'");
                o.loaderVersion = static_cast<uint16_t>(value);
            };
        if (name == "--core")
            return [&](const std::string& n, const std::string& v) {
                if (v == "model")
                    o.core = CoreKind::Model;
                else if (v == "arm1136")
                    o.core = CoreKind::Arm1136;
                else
                    fail(n + " must be model or arm1136, not '" + v + "'");
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
        if (name == "--flash-bank")
            return [&](const std::string& n, const std::string& v) {
                FlashBankConfig bank;
                if (std::string why = parseFlashBank(v, bank); !why.empty())
                    fail(n + " " + why);
                else
                    banks.push_back(bank);
            };
        if (name == "--chip-flash")
            return [&](const std::string& n, const std::string& v) {
                if (std::string why = parseChipFlash(v, o.chipFlash); !why.empty())
                    fail(n + " " + why);
            };
        if (name == "--flash-fail-erase")
            return [&](const std::string& n, const std::string& v) {
                uint64_t value = 0;
                if (!parseNumber(v, 0xFFFFFFFF, value))
                    fail(n + " needs an address, not '" + v + "'");
                o.flashFailErase.push_back(static_cast<uint32_t>(value));
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
        if (name == "--version") {
            result.version = true;
            return result;
        }
        if (name == "--loader" || name == "--line-timing" || name == "--big-endian") {
            if (inlineValue)
                fail(name + " takes no value");
            else if (name == "--loader")
                o.loader = true;
            else if (name == "--big-endian")
                o.bigEndian = true;
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
    if (result.updateFilesDir) {
        if (!o.serialPath.empty() || !o.udpAddress.empty())
            result.error =
                "--write-update-files writes files and serves no probe: drop --serial "
                "and --udp";
        else if (result.writtenFirmwareVersion &&
                 (*result.writtenFirmwareVersion == 0 || *result.writtenFirmwareVersion > 255))
            result.error = "--firmware-version of an update file must be 1..255, not " +
                           std::to_string(*result.writtenFirmwareVersion);
        return result;
    }
    if (result.logicVersion) {
        result.error = "--logic-version only goes with --write-update-files";
        return result;
    }

    if (!banks.empty()) o.flashBanks = banks;
    if (std::string why = checkFlashBanks(o.flashBanks); !why.empty()) {
        result.error = "--flash-bank: " + why;
        return result;
    }
    if (std::string why = checkChipFlash(o.chipFlash, o.flashBanks); !why.empty()) {
        result.error = "--chip-flash: " + why;
        return result;
    }
    const FlashBanks layout(o.flashBanks, {});
    const ChipFlash chip(o.chipFlash, {});
    for (uint32_t address : o.flashFailErase) {
        if (!layout.contains(address) && !chip.contains(address)) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "--flash-fail-erase 0x%08X lies neither in a flash bank nor in the "
                          "chip flash",
                          address);
            result.error = text;
            return result;
        }
    }

    if (o.serialPath.empty() && o.udpAddress.empty()) {
        result.error = "give --serial PATH or --udp ADDR (or both): at least one endpoint";
    }
    return result;
}

}  // namespace tov::sim
