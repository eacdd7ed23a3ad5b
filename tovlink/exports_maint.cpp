// Exported maintenance functions: firmware and logic update, network configuration and the
// probe's configuration texts, each over the library's one connection, opened and closed here.
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "link/error_codes.h"
#include "link/session.h"
#include "maint/auto_prog.h"
#include "maint/network_config.h"
#include "maint/update.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::guarded;
namespace tl = tov::link;
namespace mt = tov::maint;

namespace {

// The loader procedures' way to the probe: the module-level connection, opened with `port`.
class LibraryLoaderLink final : public mt::LoaderLink {
public:
    enum class Start { kOpen, kConnect };
    explicit LibraryLoaderLink(const char* port, Start start = Start::kOpen)
        : port_(port), start_(start) {}
    int32_t open() override {
        if (start_ == Start::kOpen) return tl::openFromText(tov::lib::linkState(), port_);
        // As TOV_Connect: the firmware runs, and the file and flash state starts afresh.
        tov::lib::filesSession().reset();
        return tl::connectFromText(tov::lib::linkState(), port_);
    }
    void close() override { tov::lib::linkState().close(); }
    int32_t transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                     int32_t extraTimeout) override {
        return tov::lib::linkState().transaction(request, answer, extraTimeout);
    }
    void sleepMs(uint32_t ms) override { tov::lib::linkState().clock().sleepMs(ms); }

private:
    const char* port_;
    Start start_;
};

// A maintenance call that threw leaves no link open behind it, as its normal end does not.
void closeAfterEscape(const char*) {
    tov::lib::linkState().close();
}

}  // namespace

extern "C" {

int32_t TOV_UpdateFirmwareLogic(const char* port, const char* path, uint16_t family,
                                uint16_t mode) {
    return guarded(
        [&]() -> int32_t {
            if (!port || !path) return tl::kInvalidParameter;
            LibraryLoaderLink link(port);
            return mt::updateFirmwareLogic(link, path, family, mode, tov::lib::reportProgress);
        },
        closeAfterEscape);
}

int32_t TOV_ConfigNetwork(const char* port, const char* ip, const char* mask, const char* gateway) {
    return guarded(
        [&]() -> int32_t {
            if (!port) return tl::kInvalidParameter;
            LibraryLoaderLink link(port);
            return mt::configureNetwork(link, ip, mask, gateway);
        },
        closeAfterEscape);
}

int32_t TOV_GetConfiguration(const char* port, char* description, char* family, char* versions,
                             char* mac, char* ip, char* mask, char* gateway) {
    return guarded(
        [&]() -> int32_t {
            if (!port || !description || !family || !versions || !mac || !ip || !mask || !gateway) {
                return tl::kInvalidParameter;
            }
            LibraryLoaderLink link(port);
            return mt::readConfiguration(link,
                                         {description, family, versions, mac, ip, mask, gateway});
        },
        closeAfterEscape);
}

int32_t TOV_EnableAutoProgHC12(const char* port, uint16_t type, uint16_t b, uint16_t c, uint16_t d,
                               uint16_t entryCount, const uint32_t* entries, uint8_t e, uint8_t f,
                               const char* programPath, uint8_t g, uint8_t h,
                               const char* secondPath) {
    return guarded(
        [&]() -> int32_t {
            if (!port || (entryCount > 0 && !entries)) return tl::kInvalidParameter;
            std::vector<mt::AutoProgEntry> list(entryCount);
            for (size_t i = 0; i < list.size(); ++i) {
                list[i] = {entries[3 * i], entries[3 * i + 1], entries[3 * i + 2]};
            }
            const mt::AutoProgJob job{.type = type,
                                      .b = b,
                                      .c = c,
                                      .d = d,
                                      .entries = list,
                                      .e = e,
                                      .f = f,
                                      .programPath = programPath,
                                      .g = g,
                                      .h = h,
                                      .secondPath = secondPath};
            LibraryLoaderLink link(port, LibraryLoaderLink::Start::kConnect);
            return mt::enableAutoProg(link, job, tov::lib::reportProgress);
        },
        closeAfterEscape);
}

int32_t TOV_DisableAutoProgHC12(const char* port) {
    return guarded(
        [&]() -> int32_t {
            if (!port) return tl::kInvalidParameter;
            LibraryLoaderLink link(port, LibraryLoaderLink::Start::kConnect);
            return mt::disableAutoProg(link);
        },
        closeAfterEscape);
}

}  // extern "C"
