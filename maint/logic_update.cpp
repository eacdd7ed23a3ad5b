// Logic device programming: the library's procedure for every model and the setup program's for
// the TOV-B, both over the loader requests.
#include "maint/logic_update.h"

#include <array>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "link/error_codes.h"
#include "maint/jedec_reader.h"
#include "maint/loader_requests.h"
#include "maint/logic_geometry.h"
#include "maint/ues.h"

namespace tov::maint {
namespace {

using Answer = std::array<uint8_t, kLoaderAnswerCapacity>;

constexpr uint16_t kSetupLogicBase = 8000;
constexpr uint16_t kSetupLargestLogicFile = 255;

std::string_view textAt(const Answer& answer, size_t offset, size_t length) {
    return std::string_view(reinterpret_cast<const char*>(answer.data()) + offset, length);
}

JedecLayout layoutFor(ProbeModel model, size_t lineLimit) {
    const LogicGeometry g = logicGeometry(model);
    // The TOV-A's reader only looks at the start of the "*L00000" line.
    return JedecLayout{g.rows, g.rowLength, g.linesPerRow, lineLimit, model == ProbeModel::A};
}

// The library's reading of a model's JEDEC file: 0 or -1306.
int32_t readLogicRows(ProbeModel model, const std::string& jedecPath, const LoaderCaller& caller,
                      std::vector<std::string>& rows) {
    const size_t lineLimit =
        model == ProbeModel::A ? caller.jedecLineLengthA : caller.jedecLineLength;
    return readJedecRows(jedecPath, layoutFor(model, lineLimit), rows) == JedecError::kNone
               ? link::kOk
               : link::kLogicFileFailed;
}

// The setup program's reading of a TOV-B JEDEC file: empty, or the message of its fault.
std::string readSetupRows(const std::string& jedecPath, std::vector<std::string>& rows) {
    switch (
        readJedecRows(jedecPath, layoutFor(ProbeModel::B, setupCaller().jedecLineLength), rows)) {
        case JedecError::kNone:
            return {};
        case JedecError::kCannotOpen:
            return "Logic: Cannot open JEDEC file!";
        case JedecError::kNoFuseList:
            return "Logic: Illegal JEDEC file format!";
        case JedecError::kWrongRowLength:
            break;
    }
    return "Illegal JEDEC file format!";
}

// Programs every row, then the UES; stops at the first failure.
int32_t programRowsAndUes(LoaderLink& link, const std::vector<std::string>& rows,
                          std::string_view bits) {
    for (size_t r = 0; r < rows.size(); ++r) {
        const int32_t rc = programFuseRow(link, static_cast<uint8_t>(r), rows[r]);
        if (rc != link::kOk) return rc;
    }
    return programUes(link, bits);
}

// Reads every row back: the answer holds two readings of (length - 1) / 2 characters each, and
// both must be the row.
int32_t verifyRows(LoaderLink& link, const std::vector<std::string>& rows) {
    Answer answer;
    for (size_t r = 0; r < rows.size(); ++r) {
        const int32_t n = readFuseRow(link, static_cast<uint8_t>(r), answer);
        if (n < 0) return n;
        const size_t half = (static_cast<size_t>(n) - 1) / 2;
        if (textAt(answer, 1, half) != rows[r] || textAt(answer, 1 + half, half) != rows[r]) {
            return link::kLogicVerifyFailed;
        }
    }
    return link::kOk;
}

int32_t verifyUes(LoaderLink& link, std::string_view bits) {
    Answer answer;
    const int32_t n = readUes(link, answer);
    if (n < 0) return n;
    return textAt(answer, 1, static_cast<size_t>(n) - 1) == bits ? link::kOk
                                                                 : link::kLogicVerifyFailed;
}

}  // namespace

int32_t checkLogicFile(ProbeModel model, const std::string& jedecPath, const LoaderCaller& caller) {
    std::vector<std::string> rows;
    return readLogicRows(model, jedecPath, caller, rows);
}

int32_t programLogic(LoaderLink& link, ProbeModel model, const std::string& jedecPath,
                     uint16_t versionNumber, const LoaderCaller& caller) {
    const std::string bits = uesBits(model, uesText(model, versionNumber));
    std::vector<std::string> rows;
    int32_t rc = readLogicRows(model, jedecPath, caller, rows);
    if (rc == link::kOk) rc = logicMode(link, true);
    if (rc == link::kOk) rc = programRowsAndUes(link, rows, bits);
    if (rc == link::kOk) rc = verifyRows(link, rows);
    if (rc == link::kOk) rc = verifyUes(link, bits);

    // Leaving logic programming is sent on every path, and only the first error is told.
    const int32_t leave = logicMode(link, false);
    return rc != link::kOk ? rc : leave;
}

namespace {

// The setup program's logic step after the JEDEC file was read; `failure` gets the message box
// text of a failure.
int32_t runSetupLogic(LoaderLink& link, const std::vector<std::string>& rows, std::string_view bits,
                      const LogicStatus& status, std::string& failure) {
    static const std::string kCommunication = "Communication with TOV failed!";
    const auto communication = [&](int32_t rc) {
        failure = kCommunication;
        return rc;
    };
    const auto percent = [&](const char* stage, size_t i) {
        char text[64];
        std::snprintf(text, sizeof text, "%s ( %u%% )", stage,
                      static_cast<unsigned>(i * 100 / rows.size()));
        status(text);
    };
    const LogicGeometry g = logicGeometry(ProbeModel::B);

    int32_t rc = logicMode(link, true);
    if (rc != link::kOk) return communication(rc);

    uint8_t deviceId = 0;
    rc = readLogicId(link, deviceId);
    if (rc != link::kOk) return communication(rc);
    if (deviceId != g.deviceId) {
        failure = "Logic: Unknown ispLSI device type!";
        return link::kLogicIdFailed;
    }

    status("Logic: Erasing ...");
    rc = eraseLogic(link);
    if (rc != link::kOk) return communication(rc);

    status("Logic: Programming ...");
    for (size_t i = 0; i < rows.size(); ++i) {
        rc = programFuseRow(link, static_cast<uint8_t>(i), rows[i]);
        if (rc != link::kOk) return communication(rc);
        percent("Logic: Programming ...", i);
    }
    rc = programUes(link, bits);
    if (rc != link::kOk) return communication(rc);

    status("Logic: Verifying ...");
    Answer answer;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int32_t n = readFuseRow(link, static_cast<uint8_t>(i), answer);
        if (n < 0) return communication(n);
        percent("Logic: Verifying ...", i);
        if (static_cast<size_t>(n) != 1 + 2 * g.rowLength) {
            return communication(link::kInvalidResponse);
        }
        if (textAt(answer, 1, g.rowLength) != rows[i]) {
            failure = "Logic: Fuse map programmed verification failed!";
            return link::kLogicVerifyFailed;
        }
        if (textAt(answer, 1 + g.rowLength, g.rowLength) != rows[i]) {
            failure = "Logic: Fuse map erased verification failed!";
            return link::kLogicVerifyFailed;
        }
    }

    const int32_t n = readUes(link, answer);
    if (n < 0) return communication(n);
    if (static_cast<size_t>(n) != 1 + bits.size()) return communication(link::kInvalidResponse);
    if (textAt(answer, 1, bits.size()) != bits) {
        failure = "Logic: UES verify failed!";
        return link::kLogicVerifyFailed;
    }
    return link::kOk;
}

}  // namespace

SetupLogicResult programLogicForSetup(LoaderLink& link, const std::string& jedecPath,
                                      uint16_t logicFileVersion, const LogicStatus& status) {
    const LogicStatus show = status ? status : [](const std::string&) {};
    const uint16_t fileVersion =
        logicFileVersion <= kSetupLargestLogicFile ? logicFileVersion : uint16_t{0};
    const std::string bits =
        uesBits(ProbeModel::B, uesText(ProbeModel::B, kSetupLogicBase + fileVersion));

    SetupLogicResult result;
    show("Logic: Reading JEDEC File ...");
    std::vector<std::string> rows;
    result.message = readSetupRows(jedecPath, rows);
    if (result.message.empty()) {
        result.code = runSetupLogic(link, rows, bits, show, result.message);
    } else {
        result.code = link::kLogicFileFailed;
    }
    // Leaving logic programming ends the step on every path; its own outcome is not shown.
    logicMode(link, false);
    return result;
}

std::string checkSetupLogicFile(const std::string& jedecPath) {
    std::vector<std::string> rows;
    return readSetupRows(jedecPath, rows);
}

}  // namespace tov::maint
