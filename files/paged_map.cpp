// Address translation and piece rules of paged on-chip flash.
#include "files/paged_map.h"

namespace tov::files {
namespace {

constexpr uint32_t kPage = 0x4000;
constexpr uint32_t kSmallPage = 0x400;

uint32_t window(uint32_t x) {
    return x & 0xC000;
}

std::optional<uint32_t> translateH2(uint32_t x) {
    switch (window(x)) {
        case 0x8000:
            return (x & 0x3FFF) + ((x >> 2) & 0x3FFFC000) + 0x400000;
        case 0xC000:
            return (x & 0x3FFF) + 0x7FC000;
        case 0x4000:
            return (x & 0x3FFF) + 0x7F4000;
        default:
            break;
    }
    // Below 0x4000 only the two 1-KB windows of the small pages hold flash.
    switch (x & 0xFC00) {
        case 0x0800:
            return (x & 0x3FF) + ((x >> 6) & 0x3FFFC00) + 0x100000;
        case 0x0C00:
            return (x & 0x3FF) + 0x13FC00;
        default:
            return std::nullopt;
    }
}

uint32_t translateH1(uint32_t x, uint32_t flashSize) {
    switch (window(x)) {
        case 0x8000:
            return ((x & 0x3FFF) + ((x >> 2) & 0x3FFFC000)) & (flashSize - 1);
        case 0xC000:
            return (x & 0x3FFF) + flashSize - 0x4000;
        case 0x4000:
            return (x & 0x3FFF) + flashSize - 0x8000;
        default:
            return x;
    }
}

bool bankedVariant(uint16_t variant) {
    return variant == 3 || variant == 4 || variant == 6 || variant == 7;
}

uint32_t unchanged(const PagedSetup&, uint32_t y) {
    return y;
}

uint32_t bankedWindow(const PagedSetup&, uint32_t y) {
    return (y & 0x3FFF) | (((y & 0x1C000) | 0x2000) << 2);
}

uint32_t h1BankBase(uint16_t variant) {
    switch (variant) {
        case 8:
        case 14:
            return 0x308000;
        case 9:
        case 15:
            return 0x388000;
        case 10:
            return 0x3C8000;
        case 11:
            return 0x3E8000;
        case 13:
            return 0x208000;
        default:
            return 0;
    }
}

uint32_t h1Type21(const PagedSetup& setup, uint32_t y) {
    // The part beyond the flash size is the top of the 1-MB space.
    if (y >= setup.flashSize) y += setup.flashSize - 0x100000;
    return ((y & 0x3FFF) | ((y & 0xFC000) << 2)) + h1BankBase(setup.variant);
}

uint32_t h2Type21(const PagedSetup&, uint32_t y) {
    return ((y & 0x3FC000) << 2) | ((y & 0x3FFF) + 0x8000);
}

uint32_t h2Type20(const PagedSetup&, uint32_t y) {
    return (y & 0x3FF) | 0x800 | ((y & 0x3FC00) << 6);
}

}  // namespace

std::optional<uint32_t> translatePaged(const PagedSetup& setup, uint32_t x) {
    if (!setup.translate) return x;
    switch (setup.map) {
        case PagedSetup::Map::kH2:
            return translateH2(x);
        case PagedSetup::Map::kH1:
            return translateH1(x, setup.flashSize);
        case PagedSetup::Map::kNone:
            break;
    }
    return x;
}

PieceRule pieceRuleFor(const PagedSetup& setup, uint8_t mode) {
    if (mode == 15 || mode == 19) {
        return bankedVariant(setup.variant) ? PieceRule{kPage, bankedWindow}
                                            : PieceRule{0, unchanged};
    }
    if (setup.map == PagedSetup::Map::kH1 && mode == 21) return {kPage, h1Type21};
    if (setup.map == PagedSetup::Map::kH2) {
        if (mode == 21) return {kPage, h2Type21};
        if (mode == 20) return {kSmallPage, h2Type20};
    }
    return {kPage, unchanged};
}

}  // namespace tov::files
