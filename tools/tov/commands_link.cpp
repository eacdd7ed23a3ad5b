// Link commands of tov: ping, connect, errors and raw transactions.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "hex.h"
#include "output.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

// Error codes live between 0 and this; the table is found by asking the library for each.
constexpr int32_t kLowestErrorCode = -2999;
constexpr int32_t kMaxAnswer = 1500;

std::string rateText() {
    const uint32_t rate = TOV_LineRateGet();
    return rate == 0 ? std::string("over the network") : "at " + std::to_string(rate) + " baud";
}

bool parseMilliseconds(const std::string& text, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < 0) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

}  // namespace

int runPing(const Invocation& call) {
    const int32_t result = TOV_Open(call.port.c_str());
    if (result < 0) return reportApiError(call.command, result);
    std::printf("probe answered %s\n", rateText().c_str());
    TOV_Close();
    return kExitOk;
}

int runConnect(const Invocation& call) {
    const int32_t result = TOV_Connect(call.port.c_str());
    if (result < 0) return reportApiError(call.command, result);
    std::printf("connected, firmware running, link %s\n", rateText().c_str());
    TOV_Disconnect();
    return kExitOk;
}

int runErrors(const Invocation&) {
    char unknown[64];
    for (int32_t code = 0; code >= kLowestErrorCode; --code) {
        const char* text = TOV_ErrorTextGet(code);
        std::snprintf(unknown, sizeof unknown, "TOV: Unknown error number (%i)", code);
        if (std::string_view(text) == unknown) continue;
        std::printf("%d %s\n", static_cast<int>(code), text);
    }
    return kExitOk;
}

int runRaw(const Invocation& call) {
    int32_t extraWait = 0;
    std::vector<std::string> words;
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (call.args[i] == "--wait") {
            if (i + 1 == call.args.size() || !parseMilliseconds(call.args[i + 1], extraWait)) {
                return reportUsageError("raw: --wait needs a number of milliseconds", "raw");
            }
            ++i;
        } else {
            words.push_back(call.args[i]);
        }
    }
    std::vector<uint8_t> request;
    std::string error;
    if (!parseHexWords(words, request, error)) return reportUsageError("raw: " + error, "raw");
    if (request.empty()) return reportUsageError("raw: give the request bytes in hex", "raw");

    int32_t result = TOV_Connect(call.port.c_str());
    if (result < 0) return reportApiError(call.command, result);
    std::vector<uint8_t> answer(kMaxAnswer);
    result = TOV_Transaction(static_cast<int32_t>(request.size()), request.data(), kMaxAnswer,
                             answer.data(), extraWait);
    TOV_Disconnect();
    if (result < 0) return reportApiError(call.command, result);
    answer.resize(static_cast<size_t>(result));
    std::printf("%s\n", formatHex(answer).c_str());
    return kExitOk;
}

}  // namespace tov::cli
