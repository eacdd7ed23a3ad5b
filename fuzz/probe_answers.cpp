// Fuzzes the probe's side of libtovlink: the exported calls of every request family run against
// a probe whose answers, events and silences come from the input, through the real serial
// framing, transaction and request code. Caller buffers are exact-size heap blocks, so a write
// one byte past them is found; every call must end within a bounded number of reads and of
// virtual time, and a call that succeeds must not have taken an answer under another code.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files/srecord_writer.h"
#include "fuzz/support/check.h"
#include "fuzz/support/fuzzed_probe.h"
#include "include/tovlink.h"
#include "link/flavour.h"
#include "link/link_context.h"
#include "link/serial_transport.h"
#include "maint/family_table.h"
#include "maint/logic_geometry.h"
#include "sim/update_files.h"
#include "tovlink/link_state.h"

using tov::fuzz::FuzzedLine;
using tov::fuzz::FuzzInput;
using tov::fuzz::VirtualClock;

namespace {

constexpr int kMaxCalls = 64;
// The flash set-ups' prepare request counts only for its transport errors.
constexpr uint8_t kFlashPrepare = 0x8C;
// The start firmware request of every connect: its answer counts only for its transport errors
// (and for its code, which tells that the probe was in its loader).
constexpr uint8_t kStartFirmware = 0x71;
// The loader requests whose answers are not examined either: logic mode, program fuse row,
// program UES, erase logic and the closing request; and enter loader, whose answer under
// another code says that the probe does not switch over.
constexpr uint8_t kLoaderUnexamined[] = {0x69, 0x6C, 0x6E, 0x70, 0x72, 0x73};
// The download's blocks: whatever answers one other than an acknowledgement is dropped.
constexpr uint8_t kDownloadBlock = 0x29;
// The driver's calls that talk to the loader.
constexpr unsigned kFirstMaintenanceCall = 28, kLastMaintenanceCall = 31;

// True when a successful call may have taken an answer to `code` under another code.
bool unexamined(unsigned which, uint8_t code) {
    if (code == kFlashPrepare || code == kStartFirmware || code == kDownloadBlock) return true;
    if (which < kFirstMaintenanceCall || which > kLastMaintenanceCall) return false;
    return std::find(std::begin(kLoaderUnexamined), std::end(kLoaderUnexamined), code) !=
           std::end(kLoaderUnexamined);
}

constexpr const char* kPort = "COM7 115200";

// Where the driver's image lies (four records of 32 bytes).
constexpr uint32_t kImageBase = 0x20000000;
// Flash set-ups of each erase method (command sets A and B, plain and alternating polls, the
// probe's own erase, none) and of each on-chip kind.
constexpr const char* kFlashSetups[] = {
    "2,0x80000,8,0x100000",   "2,0x80000,32,0x100000",      "5,0x80000,16,0x100000",
    "22,0x80000,8,0x100000",  "37,0x80000,32,0x100000",     "39,0x80000,32,0x100000",
    "34,0x80000,32,0x100000", "555:1,0x0,0x100000",         "sgfm:0x0,0x100000",
    "uc3f:1,0x100000",        "hc12:0,1,16,0x10000,0x100000"};

// The line the library opens its ports on: a fresh input and clock for every run.
struct World {
    VirtualClock clock;
    FuzzInput input{nullptr, 0};
    FuzzedLine line{input, clock};
    std::string folder;
    std::string image;    // a small S-record file to load, verify and program
    std::string output;   // where dumps go; removed after every run
    std::string updates;  // valid firmware and logic files of every family and model

    World() {
        char name[] = "/tmp/tov-fuzz-probe-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        folder = name;
        image = folder + "/image.srec";
        output = folder + "/dump.srec";
        updates = folder + "/updates/";
        if (mkdir(updates.c_str(), 0700) != 0) std::abort();
        writeUpdateFiles();
        FILE* f = std::fopen(image.c_str(), "w");
        if (!f) std::abort();
        char text[tov::files::kMaxRecordText];
        uint8_t bytes[32];
        for (unsigned record = 0; record < 4; ++record) {
            for (unsigned i = 0; i < sizeof bytes; ++i)
                bytes[i] = static_cast<uint8_t>(record * 32 + i);
            const size_t n =
                tov::files::formatSRecord(3, kImageBase + record * 32, bytes, sizeof bytes, text);
            std::fwrite(text, 1, n, f);
        }
        std::fputs("S70500000000FA\n", f);
        std::fclose(f);
        setenv("TOV_COM7", "/dev/null", 1);
        tov::lib::useLine(line, clock);
    }
    ~World() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Files the update accepts, so that its calls get past the file checks and spend the input
    // on the probe's answers. Their code is short: every record costs one answered request.
    void writeUpdateFiles() {
        namespace sim = tov::sim;
        for (const sim::ProbeModel model :
             {sim::ProbeModel::X, sim::ProbeModel::B, sim::ProbeModel::BC, sim::ProbeModel::A}) {
            const auto maintModel = static_cast<tov::maint::ProbeModel>(model);
            const tov::maint::LogicGeometry g = tov::maint::logicGeometry(maintModel);
            // Fuses all 0, so that a seed can answer the read-back of every row.
            const std::string jedec = sim::jedecText(sim::fuseLines(
                std::vector<std::string>(g.rows, std::string(g.rowLength, '0')), g.linesPerRow));
            for (unsigned family = 0; family < tov::maint::kFamilyCount; ++family) {
                const auto names = sim::updateFileNames(static_cast<uint8_t>(family), model);
                if (!names) continue;
                const uint16_t base = tov::maint::familyFiles(family, maintModel).firmwareBase;
                if (!sim::writeFirmwareFile(updates, names->firmware, 1, base,
                                            sim::modelName(model), 64)
                         .written) {
                    std::abort();
                }
                sim::writeTextFile(updates + names->logic + ".001", jedec);
            }
        }
    }
};

World& world() {
    static World instance;
    return instance;
}

std::vector<uint8_t> exact(size_t n) {
    return std::vector<uint8_t>(n);
}

// One call of the driver; `raw` marks the calls that hand any answer back unchecked. Arguments
// are read from the input in statements of their own: the order in which one call's arguments
// are evaluated is the compiler's, and a kept input must drive the replay build as it drove the
// fuzzer.
int32_t callOne(FuzzInput& in, bool& raw, unsigned& which) {
    World& w = world();
    raw = false;
    const uint32_t address = in.u32();
    which = in.u8() % 34;
    switch (which) {
        case 0: {
            const auto request = in.bytes(in.u8() % 16 + 1);
            const int32_t capacity = in.u8() % 64;
            auto answer = exact(static_cast<size_t>(capacity));
            raw = true;
            return TOV_Transaction(static_cast<int32_t>(request.size()), request.data(), capacity,
                                   answer.data(), 0);
        }
        case 1:
            return TOV_GetPendingEvents();
        case 2:
            return TOV_TargetStart();
        case 3:
            return TOV_TargetHalt();
        case 4:
            return in.flag() ? TOV_TargetReset() : TOV_TargetReset2(in.u8());
        case 5: {
            auto result = std::make_unique<uint32_t>();
            const uint32_t first = in.u32(), second = in.u32();
            const uint8_t mode = in.u8();
            return TOV_TargetStep(first, second, mode, result.get());
        }
        case 6: {
            uint16_t count = in.u8() % 20;
            auto values = std::make_unique<uint32_t[]>(count);
            auto state = std::make_unique<uint16_t>();
            auto error = std::make_unique<int32_t>();
            auto value = std::make_unique<uint32_t>();
            const uint16_t room = count;
            const int32_t rc =
                TOV_StateGet(state.get(), error.get(), value.get(), &count, values.get());
            FUZZ_CHECK(count <= room);
            return rc;
        }
        case 7: {
            const StartupEntry entries[2] = {{1, address, 2}, {2, address + 4, 3}};
            const uint8_t mode = in.u8();
            const uint32_t speed = in.u32();
            const uint8_t count = in.u8() % 3;
            return TOV_TargetStartup(mode, speed, count, entries);
        }
        case 8: {
            auto info = std::make_unique<TargetInfo>();
            const int32_t rc = TOV_InfoGet(info.get());
            if (rc >= 0) FUZZ_CHECK(std::memchr(info->setupId, 0, sizeof info->setupId));
            return rc;
        }
        case 9:
            return TOV_SetBdmSpeed(in.u32());
        case 10: {
            const uint16_t count = in.u8() % 8 + 1;
            auto regs = std::make_unique<RegisterDescriptor[]>(count);
            for (uint16_t i = 0; i < count; ++i) regs[i] = {in.u8(), in.u8()};
            auto values = std::make_unique<uint32_t[]>(count);
            const int32_t rc = TOV_RegisterGet(count, regs.get(), values.get());
            if (rc < 0 || in.flag()) return rc;
            auto set = std::make_unique<int32_t[]>(count);
            return TOV_RegisterSet(count, regs.get(), set.get());
        }
        case 11: {
            const uint16_t first = in.u8() % 4, last = static_cast<uint16_t>(first + in.u8() % 4);
            auto data = exact(8u * (last - first + 1));
            const int32_t rc = TOV_FPRegGet(first, last, data.data());
            return rc < 0 || in.flag() ? rc : TOV_FPRegSet(first, last, data.data());
        }
        case 12: {
            const uint16_t first = in.u8() % 4, last = static_cast<uint16_t>(first + in.u8() % 4);
            auto data = exact(16u * (last - first + 1));
            const int32_t rc = TOV_VRegGet(first, last, data.data());
            return rc < 0 || in.flag() ? rc : TOV_VRegSet(first, last, data.data());
        }
        case 13: {
            const uint16_t count = in.u16() % 3000 + 1;
            auto buffer = exact(count);
            return TOV_MemoryRead(address, in.u8() % 5, count, buffer.data());
        }
        case 14: {
            auto data = exact(in.u16() % 3000 + 1);
            return TOV_MemoryWrite(address, in.u8() % 5, static_cast<uint16_t>(data.size()),
                                   data.data());
        }
        case 15: {
            switch (in.u8() % 6) {
                case 0: {
                    auto v = std::make_unique<uint8_t>();
                    return TOV_GetByte(address, v.get());
                }
                case 1: {
                    auto v = std::make_unique<uint16_t>();
                    return TOV_GetWord(address, v.get());
                }
                case 2: {
                    auto v = std::make_unique<uint32_t>();
                    return TOV_GetLong(address, v.get());
                }
                case 3:
                    return TOV_SetByte(address, in.u8());
                case 4:
                    return TOV_SetWord(address, in.u16());
                default:
                    return TOV_SetLong(address, in.u32());
            }
        }
        case 16: {
            const int32_t id = TOV_BreakAdd(address, in.u8());
            if (id < 0) return id;
            if (in.flag()) {
                auto value = std::make_unique<uint32_t>();
                const int32_t rc = TOV_BreakRead(static_cast<uint16_t>(id), value.get());
                if (rc < 0) return rc;
            }
            return TOV_BreakDelete(id);
        }
        case 17: {
            const uint8_t mode = in.u8();
            const uint32_t bound = address + in.u8();
            const uint32_t mask = in.u32();
            const int32_t id = TOV_WatchAdd(mode, address, bound, mask, 0);
            return id < 0 ? id : TOV_WatchDelete(id);
        }
        case 18: {
            auto text = std::make_unique<char[]>(1500);
            const int32_t rc = TOV_TerminalRead(text.get());
            if (rc >= 0) FUZZ_CHECK(std::memchr(text.get(), 0, 1500));
            return rc < 0 || in.flag() ? rc : TOV_TerminalWrite(in.u8());
        }
        case 19: {
            const uint16_t count = in.u8();
            auto buffer = exact(count);
            const int32_t rc = TOV_ChannelRead(in.u8(), count, buffer.data());
            if (rc >= 0) FUZZ_CHECK(rc <= count);
            if (rc < 0 || in.flag()) return rc;
            const int32_t written = TOV_ChannelWrite(in.u8(), count, buffer.data());
            if (written >= 0) FUZZ_CHECK(written <= count);
            return written;
        }
        case 20: {
            const std::string command = in.text(40);
            const uint16_t capacity = in.u8() % 80 + 1;
            auto reply = std::make_unique<char[]>(capacity);
            return TOV_DirectCommand(command.c_str(), capacity, reply.get());
        }
        case 21: {
            const uint8_t mode = in.u8() % 3, compress = in.u8() % 2;
            int32_t rc = TOV_InitDownload(mode, compress);
            for (unsigned block = in.u8() % 8; rc >= 0 && block > 0; --block) {
                auto data = exact(in.u16() % 2048 + 1);
                rc = TOV_Download(address + block * 2048, static_cast<uint16_t>(data.size()),
                                  data.data());
            }
            auto detail = std::make_unique<uint32_t>();
            const int32_t end = TOV_EndDownload(detail.get());
            return rc < 0 ? rc : end;
        }
        case 22: {
            auto data = exact(in.u16() % 2048 + 1);
            auto result = std::make_unique<uint32_t>();
            const uint16_t n = static_cast<uint16_t>(data.size());
            return in.flag() ? TOV_LoadBlock(address, n, data.data(), result.get())
                             : TOV_VerifyBlock(address, n, data.data(), result.get());
        }
        case 23: {
            auto detail = std::make_unique<uint32_t>();
            const char* path = w.image.c_str();
            switch (in.u8() % 7) {
                case 0:
                    return TOV_LoadFile(path, detail.get());
                case 1:
                    return TOV_VerifyFile(path, detail.get());
                case 2:
                    return TOV_LoadFile2(path, in.u32(), detail.get());
                case 3:
                    return TOV_VerifyFile2(path, in.u32(), detail.get());
                case 4:
                    return TOV_ImageLoad2(path, nullptr, detail.get());
                case 5:
                    return TOV_ImageVerify2(path, nullptr, detail.get());
                default: {
                    // The whole flash workflow: plan, compare, erase (each way of polling),
                    // program by units or whole, load what lies outside the range, verify.
                    TOV_FlashOptions flash{};
                    flash.type = kFlashSetups[in.u8() % std::size(kFlashSetups)];
                    flash.erase = in.u8() % 3;
                    flash.sectorSize = in.flag() ? 0 : 32u << (in.u8() % 3);
                    flash.skipUnchanged = in.flag();
                    flash.verify = in.flag();
                    flash.dryRun = (in.u8() & 7) == 7;
                    if (in.flag()) {
                        flash.flashBase = kImageBase + 32u * (in.u8() % 4);
                        flash.flashSize = 64;
                        flash.refuseOutside = in.flag();
                    }
                    auto report = std::make_unique<TOV_FlashReport>();
                    return TOV_ImageFlash(path, nullptr, &flash, report.get());
                }
            }
        }
        case 24: {
            auto buffer = exact(in.u16() % 3000 + 1);
            return TOV_DumpBlock(address, static_cast<uint16_t>(buffer.size()), buffer.data());
        }
        case 25: {
            // Mostly a few records, so that the writer is reached on the answers at hand.
            const uint32_t count = in.flag() ? in.u16() % 8192 + 1 : in.u8() % 96 + 1;
            return in.flag() ? TOV_DumpFile(w.output.c_str(), address, count)
                             : TOV_DumpFileFast(w.output.c_str(), address, count);
        }
        case 26: {
            // Every type code of the table, and a few past it.
            const uint16_t type = in.u8() % 44;
            const uint32_t chipSize = in.u32();
            const uint32_t busBits = 8u << (in.u8() % 3);
            const uint32_t workspace = in.u32();
            int32_t rc = TOV_FlashSetType(type, chipSize, 0, busBits, workspace);
            auto result = std::make_unique<uint32_t>();
            switch (in.u8() % 5) {
                case 0:
                    return rc < 0 ? rc : TOV_FlashEraseSector(address);
                case 1:
                    return rc < 0 ? rc : TOV_FlashErase(in.u8() % 3, address);
                case 2: {
                    auto data = exact(in.u8() + 1u);
                    return rc < 0 ? rc
                                  : TOV_FlashWriteBlock(address, static_cast<uint16_t>(data.size()),
                                                        data.data(), result.get());
                }
                case 3:
                    return rc < 0 ? rc : TOV_FlashWriteFile(w.image.c_str(), result.get());
                default:
                    return rc < 0 ? rc
                                  : TOV_FlashWriteFile2(w.image.c_str(), in.u32(), result.get());
            }
        }
        case 27: {
            auto detail = std::make_unique<uint32_t>();
            const unsigned kind = in.u8() % 7;
            const uint8_t small = in.u8();
            const uint32_t a = in.u32(), b = in.u32(), c = in.u32();
            switch (kind) {
                case 0:
                    return TOV_FlashSetupHC12(small, static_cast<uint16_t>(a), b & 1 ? 8 : 16, b,
                                              c);
                case 1:
                    return TOV_FlashEraseHC12(address, a);
                case 2:
                    return TOV_FlashSetup555(small, a, b);
                case 3:
                    return TOV_FlashErase555(address, a, small, b, c);
                case 4:
                    return TOV_FlashWrite555(w.image.c_str(), detail.get());
                case 5:
                    return TOV_FlashSetupUC3F(small, a);
                default:
                    return c & 1 ? TOV_FlashEraseUC3F(address, a, small, b)
                                 : TOV_FlashSetupSGFM(a, b);
            }
        }
        case 28: {
            // The exact sizes the header gives for each text.
            auto d = std::make_unique<char[]>(27), f = std::make_unique<char[]>(14),
                 v = std::make_unique<char[]>(14), m = std::make_unique<char[]>(18),
                 ip = std::make_unique<char[]>(16), mask = std::make_unique<char[]>(16),
                 gw = std::make_unique<char[]>(16);
            return TOV_GetConfiguration(kPort, d.get(), f.get(), v.get(), m.get(), ip.get(),
                                        mask.get(), gw.get());
        }
        case 29:
            return TOV_ConfigNetwork(kPort, "10.0.0.2", "255.0.0.0", in.flag() ? "" : "10.0.0.1");
        case 30: {
            // A family now and then beyond the table.
            const uint16_t family = in.u8() % (tov::maint::kFamilyCount + 2);
            return TOV_UpdateFirmwareLogic(kPort, w.updates.c_str(), family, in.u8() % 4);
        }
        case 31: {
            if (in.flag()) return TOV_DisableAutoProgHC12(kPort);
            // Three words an entry: address, value and kind.
            const uint16_t count = in.u8() % 4;
            auto entries = std::make_unique<uint32_t[]>(3u * count);
            for (unsigned i = 0; i < 3u * count; ++i) entries[i] = in.u32();
            uint8_t v[8];
            for (uint8_t& value : v) value = in.u8();
            return TOV_EnableAutoProgHC12(kPort, v[0], v[1], v[2], v[3], count, entries.get(),
                                          v[4], v[5], w.image.c_str(), v[6], v[7], nullptr);
        }
        case 32:
            // A probe's answer to the start request says only whether it was in its loader.
            raw = true;
            return in.flag() ? TOV_Connect(kPort) : TOV_Open(kPort);
        default: {
            const char* text = TOV_ErrorTextGet(static_cast<int32_t>(in.u32()));
            FUZZ_CHECK(text != nullptr);
            return 0;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World& w = world();
    w.input = FuzzInput(data, size);
    w.line.counts() = {};
    w.line.counts().startedMs = w.clock.nowMs();
    // Most runs start on an open line without the rate negotiation, so the input goes to the
    // answers; the others open the port the way a client does.
    tov::link::LinkContext& link = tov::lib::linkState();
    if (w.input.u8() & 1) {
        link.adopt(std::make_unique<tov::link::SerialTransport>(
            w.line.device(), tov::link::libraryFlavour(), w.clock));
    } else {
        TOV_Open(kPort);
    }
    for (int call = 0; call < kMaxCalls && !w.input.empty(); ++call) {
        w.line.counts() = {};
        w.line.counts().startedMs = w.clock.nowMs();
        bool raw = false;
        unsigned which = 0;
        const int32_t rc = callOne(w.input, raw, which);
        const tov::fuzz::LineCounts& seen = w.line.counts();
        // An answer under another code is the wrong answer: no call may succeed on one.
        for (const uint8_t code : seen.wrongCodeRequests) {
            if (rc < 0 || raw || unexamined(which, code)) continue;
            std::fprintf(stderr, "call %u succeeded (%d) on an answer to %02X under another code\n",
                         which, rc, code);
            std::abort();
        }
        FUZZ_CHECK(TOV_LastErrorDetail() != nullptr);
    }
    TOV_Close();
    std::remove(w.output.c_str());
    return 0;
}
