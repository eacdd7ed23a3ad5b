// Parsing of the fault settings and the seeded fault plan.
#include "sim/faults.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace tov::sim {
namespace {

bool parseProbability(std::string_view text, double& out) {
    // Plain decimals only: no sign, exponent, "inf" or "nan".
    if (text.empty()) return false;
    for (char c : text) {
        if ((c < '0' || c > '9') && c != '.') return false;
    }
    double value = 0;
    auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (!std::isfinite(value) || value < 0 || value > 1) return false;
    out = value;
    return true;
}

bool parseUnsigned(std::string_view text, uint64_t max, uint64_t& out) {
    if (text.empty()) return false;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return false;
    out = value;
    return true;
}

constexpr uint64_t kMaxDelayMs = 60000;

}  // namespace

bool parseFaults(std::string_view text, FaultSettings& out, std::string& error) {
    if (text.empty()) {
        error = "empty fault list";
        return false;
    }
    FaultSettings result = out;
    std::vector<std::string_view> seen;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string_view item = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        size_t eq = item.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            error = "fault item '" + std::string(item) + "' is not KEY=VALUE";
            return false;
        }
        std::string_view key = item.substr(0, eq);
        std::string_view value = item.substr(eq + 1);
        for (std::string_view k : seen) {
            if (k == key) {
                error = "fault '" + std::string(key) + "' given twice";
                return false;
            }
        }
        seen.push_back(key);

        bool ok = false;
        double* probability = nullptr;
        if (key == "drop")
            probability = &result.drop;
        else if (key == "corrupt")
            probability = &result.corrupt;
        else if (key == "dup")
            probability = &result.dup;
        else if (key == "stale")
            probability = &result.stale;
        else if (key == "event")
            probability = &result.event;
        else if (key == "hostile")
            probability = &result.hostile;

        if (probability) {
            ok = parseProbability(value, *probability);
            if (!ok)
                error = "fault '" + std::string(key) + "' needs a probability 0..1, not '" +
                        std::string(value) + "'";
        } else if (key == "delay") {
            uint64_t ms = 0;
            ok = parseUnsigned(value, kMaxDelayMs, ms);
            if (ok)
                result.delayMs = static_cast<uint32_t>(ms);
            else
                error =
                    "fault 'delay' needs milliseconds 0..60000, not '" + std::string(value) + "'";
        } else if (key == "seed") {
            ok = parseUnsigned(value, std::numeric_limits<uint64_t>::max(), result.seed);
            if (!ok)
                error = "fault 'seed' needs an unsigned decimal number, not '" +
                        std::string(value) + "'";
        } else {
            error = "unknown fault '" + std::string(key) +
                    "' (known: drop, corrupt, delay, dup, stale, event, hostile, seed)";
        }
        if (!ok) return false;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    out = result;
    return true;
}

FaultPlan::FaultPlan(const FaultSettings& settings) : settings_(settings), rng_(settings.seed) {}

bool FaultPlan::chance(double p) {
    if (p <= 0) return false;
    // 53 random bits as a double in [0, 1): the same on every platform, unlike the library's
    // distributions.
    double u = static_cast<double>(rng_() >> 11) * 0x1.0p-53;
    return u < p;
}

uint64_t FaultPlan::below(uint64_t n) {
    return n == 0 ? 0 : rng_() % n;
}

FaultPlan::ReceiveFaults FaultPlan::onReceive() {
    ReceiveFaults f;
    f.drop = chance(settings_.drop);
    f.corrupt = chance(settings_.corrupt);
    return f;
}

FaultPlan::AnswerFaults FaultPlan::onAnswer() {
    AnswerFaults f;
    f.drop = chance(settings_.drop);
    f.corrupt = chance(settings_.corrupt);
    if (f.corrupt) {
        f.corruptPosition = rng_();
        f.corruptBit = static_cast<uint8_t>(below(8));
    }
    if (settings_.delayMs > 0) f.delayMs = static_cast<uint32_t>(below(settings_.delayMs + 1ull));
    f.duplicate = chance(settings_.dup);
    f.stale = chance(settings_.stale);
    f.event = chance(settings_.event);
    if (f.event) f.eventBits = static_cast<uint8_t>(1u << below(8));
    f.hostile = chance(settings_.hostile);
    if (f.hostile) {
        f.hostileKind = static_cast<HostileKind>(below(kHostileKinds));
        f.hostileDraw = rng_();
    }
    return f;
}

}  // namespace tov::sim
