// Erasing external flash: chooses the erase by the flash type and the mode of the call.
#include "files/files_session.h"
#include "files/flash_bus.h"
#include "files/flash_command_sets.h"
#include "files/flash_probe_erase.h"
#include "files/flash_types.h"
#include "link/error_codes.h"

namespace tov::files {
namespace {

constexpr uint16_t kModeChip = 2;
constexpr uint16_t kModeBlock = 1;

bool busWidthKnown(uint8_t width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

EraseScope scopeOf(EraseMethod method, uint16_t mode) {
    if (mode == kModeChip) return EraseScope::kChip;
    if (mode == kModeBlock && method == EraseMethod::kPlainPoll) return EraseScope::kBlock;
    return EraseScope::kSector;
}

}  // namespace

int32_t FilesSession::flashEraseSector(uint32_t sector) {
    return flashErase(0, sector);
}

int32_t FilesSession::flashErase(uint16_t mode, uint32_t address) {
    const FlashSetup& flash = mode_.flash;
    const FlashType* type = findFlashType(flash.type);
    if (type == nullptr || type->erase == EraseMethod::kNone) return link::kInvalidParameter;

    if (type->erase == EraseMethod::kInProbe) {
        return eraseInProbe(link_, {.type = flash.type,
                                    .sector = mode == 0,
                                    .selection = 0,
                                    .address = address,
                                    .workspace = flash.workspace,
                                    .parameter = mode_.modeParameter});
    }

    if (!busWidthKnown(flash.busWidth)) return link::kInvalidParameter;
    FlashBus bus(target_, flash.busWidth, flash.chipWidth);
    const EraseJob job{.bus = bus,
                       .clock = link_.clock(),
                       .type = *type,
                       .bank = address & flash.addressMask,
                       .sector = address};
    if (type->erase == EraseMethod::kCommandSetB) return eraseCommandSetB(job);
    return eraseCommandSetA(job, scopeOf(type->erase, mode));
}

}  // namespace tov::files
