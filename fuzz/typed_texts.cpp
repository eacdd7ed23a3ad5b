// Fuzzes the texts people type: port texts of the opening calls (over a scripted line, so no
// device is touched), dotted addresses, tov's numbers, hex byte lists and flash set-up texts,
// the init-list lines a user pastes, and the setup sector bytes tov setup-show decodes. The
// first byte picks the reader; what each one accepts must read back the same way.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/support/check.h"
#include "fuzz/support/fuzzed_probe.h"
#include "link/error_detail.h"
#include "link/flavour.h"
#include "link/link_context.h"
#include "link/session.h"
#include "link/udp_transport.h"
#include "maint/setup_sector.h"
#include "setup/code_list.h"
#include "tools/tov/arguments.h"
#include "tools/tov/flash_setup.h"
#include "tools/tov/hex.h"

using namespace tov;

namespace {

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t end = text.find(' ', at);
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

void portText(const std::string& text) {
    // A network text resolves its host name; only the serial texts are opened here.
    const std::vector<std::string> w = words(text);
    if (!w.empty() && (w[0].size() >= 3 && (w[0][0] | 0x20) == 'n')) return;
    static fuzz::VirtualClock clock;
    static fuzz::FuzzInput silence{nullptr, 0};
    static fuzz::FuzzedLine line{silence, clock};
    line.counts() = {};
    line.counts().startedMs = clock.nowMs();
    link::LinkContext context(link::libraryFlavour(), line, clock);
    const int32_t rc = link::openFromText(context, text.c_str());
    // Nothing answers on the line, so no text may open it.
    FUZZ_CHECK(rc < 0);
    context.close();
}

void hexWords(const std::string& text) {
    const std::vector<std::string> w = words(text);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!cli::parseHexWords(w, bytes, error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    const std::vector<std::string> again = words(cli::formatHex(bytes));
    std::vector<uint8_t> reread;
    FUZZ_CHECK(cli::parseHexWords(again, reread, error));
    FUZZ_CHECK(reread == bytes);
}

void number(const std::string& text, uint32_t max) {
    if (const auto value = cli::parseNumber(text, max)) {
        FUZZ_CHECK(*value <= max);
        FUZZ_CHECK(cli::parseNumber(std::to_string(*value), max) == value);
    }
}

void flashType(const std::string& text) {
    const auto setup = cli::parseFlashSetup(text);
    if (!setup) return;
    const std::string canonical = cli::flashSetupText(*setup);
    const auto again = cli::parseFlashSetup(canonical);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(cli::flashSetupText(*again) == canonical);
    (void)cli::describeFlashSetup(*setup);
}

void pastedLine(const std::string& text) {
    const setup::CCodeItem item = setup::itemFromDisplayLine(text);
    const std::string shown = setup::displayLine(item);
    // What the editor shows for a pasted line pastes back as a line shown the same way (a NOP
    // or a delay shows fewer fields than its item holds, so the items may differ there).
    FUZZ_CHECK(setup::displayLine(setup::itemFromDisplayLine(shown)) == shown);
}

void setupSector(const uint8_t* data, size_t size) {
    if (size >= maint::kSetupBlockSize) {
        const std::span<const uint8_t, maint::kSetupBlockSize> bytes(data, maint::kSetupBlockSize);
        if (const auto block = maint::decodeSetupBlock(bytes)) {
            const maint::SetupBlockBytes stored = maint::encodeSetupBlock(*block);
            const auto again = maint::decodeSetupBlock(stored);
            // An empty identifier is stored as the text a sound writer puts there for none.
            maint::SetupBlock expected = *block;
            if (expected.setupId.empty()) expected.setupId = maint::kNoSetupId;
            FUZZ_CHECK(again.has_value() && *again == expected);
        }
        data += maint::kSetupBlockSize;
        size -= maint::kSetupBlockSize;
    }
    for (; size >= maint::kInitEntrySize;
         data += maint::kInitEntrySize, size -= maint::kInitEntrySize) {
        const std::span<const uint8_t, maint::kInitEntrySize> bytes(data, maint::kInitEntrySize);
        const maint::InitEntry entry = maint::decodeInitEntry(bytes);
        const maint::InitEntryBytes stored = maint::encodeInitEntry(entry);
        FUZZ_CHECK(std::equal(stored.begin(), stored.end(), bytes.begin()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 8) {
        case 0:
            portText(text);
            break;
        case 1:
            (void)link::parseDottedAddress(text.c_str());
            break;
        case 2:
            hexWords(text);
            break;
        case 3:
            number(text, 0xFFFFFFFF);
            break;
        case 4:
            number(text, 0xFFFF);
            break;
        case 5:
            flashType(text);
            break;
        case 6:
            pastedLine(text);
            break;
        default:
            setupSector(data + 1, size - 1);
            break;
    }
    return 0;
}
