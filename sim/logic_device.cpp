// The simulated logic device: fuse rows, UES encoding and decoding, the misbehaviour hooks.
#include "sim/logic_device.h"

#include <cctype>
#include <cstdio>

namespace tov::sim {
namespace {

const LogicGeometry kGeometryX{21, 102, 80, 40, 4};
const LogicGeometry kGeometryB{19, 134, 240, 120, 8};
const LogicGeometry kGeometryA{18, 118, 160, 80, 8};

bool isBitText(std::string_view text) {
    return text.find_first_not_of("01") == std::string_view::npos;
}

// '1' where both have '1': what programming can do to fuses.
void programInto(std::string& fuses, std::string_view wanted) {
    for (size_t i = 0; i < fuses.size(); ++i) {
        if (wanted[i] == '0') fuses[i] = '0';
    }
}

}  // namespace

const LogicGeometry& logicGeometry(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return kGeometryX;
        case ProbeModel::A:
            return kGeometryA;
        case ProbeModel::B:
        case ProbeModel::BC:
            break;
    }
    return kGeometryB;
}

std::string uesText(ProbeModel model, uint32_t versionNumber) {
    char text[32];
    switch (model) {
        case ProbeModel::X:
            std::snprintf(text, sizeof text, "TQX01E%04u", versionNumber);
            break;
        case ProbeModel::A:
            std::snprintf(text, sizeof text, "TQA01E%c%03u",
                          static_cast<char>('0' + versionNumber / 1000), versionNumber % 1000);
            break;
        case ProbeModel::B:
        case ProbeModel::BC:
            std::snprintf(text, sizeof text, "TQV01E%04u", versionNumber);
            break;
    }
    return text;
}

std::string uesBits(ProbeModel model, uint32_t versionNumber) {
    const LogicGeometry& g = logicGeometry(model);
    const std::string text = uesText(model, versionNumber);
    const size_t characters = g.uesBits / g.bitsPerCharacter;
    std::string bits;
    for (size_t i = 0; i < characters; ++i) {
        unsigned value = 0;
        if (g.bitsPerCharacter == 8) {
            value = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
        } else if (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
            value = c <= '9' ? unsigned(c - '0') : unsigned(c - 'A' + 10);
        }
        for (int b = g.bitsPerCharacter - 1; b >= 0; --b)
            bits.push_back((value >> b) & 1 ? '1' : '0');
    }
    return bits;
}

LogicDevice::LogicDevice(ProbeModel model) : model_(model), geometry_(&logicGeometry(model)) {
    erase();
}

void LogicDevice::erase() {
    rows_.assign(geometry_->rows, std::string(geometry_->fusesPerRow, '1'));
    ues_.assign(geometry_->uesBits, '1');
}

bool LogicDevice::programRow(size_t row, std::string_view fuses) {
    if (row >= rows_.size() || fuses.size() != geometry_->fusesPerRow || !isBitText(fuses))
        return false;
    programInto(rows_[row], fuses);
    return true;
}

std::optional<std::string> LogicDevice::readRow(size_t row) const {
    if (row >= rows_.size()) return std::nullopt;
    std::string first = rows_[row];
    std::string second = rows_[row];
    if (brokenRow_ && brokenRow_->first == row) {
        std::string& reading = brokenRow_->second == 0 ? first : second;
        reading[0] = reading[0] == '0' ? '1' : '0';
    }
    return first + second;
}

bool LogicDevice::programUes(std::string_view bits) {
    if (bits.size() != geometry_->uesBits || !isBitText(bits)) return false;
    programInto(ues_, bits);
    return true;
}

std::string LogicDevice::readUes() const {
    std::string bits = ues_;
    if (brokenUes_) bits.back() = bits.back() == '0' ? '1' : '0';
    return bits;
}

std::optional<uint32_t> LogicDevice::uesVersion() const {
    // Characters back from the bits; on the TOV-X they are the hexadecimal digits' values.
    const unsigned width = geometry_->bitsPerCharacter;
    std::vector<unsigned> chars;
    for (size_t at = 0; at + width <= ues_.size(); at += width) {
        unsigned value = 0;
        for (size_t b = 0; b < width; ++b) value = value << 1 | (ues_[at + b] == '1' ? 1u : 0u);
        chars.push_back(value);
    }
    auto digit = [&](size_t i) -> std::optional<unsigned> {
        if (i >= chars.size()) return std::nullopt;
        const unsigned v = width == 8 ? chars[i] - '0' : chars[i];
        return v <= 9 ? std::optional<unsigned>(v) : std::nullopt;
    };
    // "xxx01E" then the number: "0" and "1" (and 'E' as 0xE on the TOV-X) mark a written UES.
    const bool marked =
        width == 8 ? chars.size() > 6 && chars[3] == '0' && chars[4] == '1' && chars[5] == 'E'
                   : chars.size() > 6 && chars[3] == 0 && chars[4] == 1 && chars[5] == 0xE;
    if (!marked) return std::nullopt;
    uint32_t number = 0;
    size_t i = 6;
    if (model_ == ProbeModel::A) {
        // A thousands character '0' + n, then three digits.
        if (chars.size() < 10 || chars[6] < '0' || chars[6] > '0' + 64) return std::nullopt;
        number = chars[6] - '0';
        i = 7;
    }
    size_t digits = 0;
    for (; digit(i); ++i, ++digits) number = number * 10 + *digit(i);
    if (digits < 3) return std::nullopt;
    return number;
}

uint16_t LogicDevice::versionWord() const {
    return static_cast<uint16_t>(uesVersion().value_or(0));
}

void LogicDevice::clearHooks() {
    brokenRow_.reset();
    brokenUes_ = false;
    reportedId_.reset();
}

bool LogicDevice::restore(std::vector<std::string> rows, std::string ues) {
    if (rows.size() != geometry_->rows || ues.size() != geometry_->uesBits || !isBitText(ues))
        return false;
    for (const std::string& row : rows) {
        if (row.size() != geometry_->fusesPerRow || !isBitText(row)) return false;
    }
    rows_ = std::move(rows);
    ues_ = std::move(ues);
    return true;
}

LogicDevice factoryLogic(ProbeModel model, uint32_t versionNumber) {
    LogicDevice device(model);
    const LogicGeometry& g = device.geometry();
    uint32_t seed = 0x4A454443u + static_cast<uint32_t>(model);
    for (size_t row = 0; row < g.rows; ++row) {
        std::string fuses;
        for (size_t i = 0; i < g.fusesPerRow; ++i) {
            seed = seed * 1664525u + 1013904223u;
            fuses.push_back((seed >> 28) & 1 ? '1' : '0');
        }
        device.programRow(row, fuses);
    }
    device.programUes(uesBits(model, versionNumber));
    return device;
}

}  // namespace tov::sim
