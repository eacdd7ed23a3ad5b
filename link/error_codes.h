// Named error codes of the probe link and library; the texts live in error_table.cpp.
#pragma once

#include <cstdint>

namespace tov::link {

enum ErrorCode : int32_t {
    kOk = 0,
    kSetupFailed = -1001,     // port cannot be opened or configured
    kReceiveTimeout = -1002,
    kReceiveError = -1003,
    kReceiveFormat = -1004,
    kReceiveBcc = -1005,
    kReceiveOverflow = -1006,
    kTransmitError = -1007,
    kSocketError = -1101,
    kNetReceiveError = -1102,
    kNoResponse = -1201,
    kInvalidParameter = -1202,
    kNotConnected = -1203,
    kAnswerTooBig = -1204,
    kInvalidResponse = -1205,
    kDownloadFailed = -1206,
    kFileAccessFailed = -1207,
    kEraseFailed = -1208,
    kProgramFailed = -1209,
    kVerifyFailed = -1210,
    kInvalidWriteMode = -1211,
    kWorkingRamFailed = -1212,
    kUnknownProbe = -1301,
    kFirmwareFileFailed = -1302,
    kFirmwareVerifyFailed = -1303,
    kLogicIdFailed = -1304,
    kLogicVerifyFailed = -1305,
    kLogicFileFailed = -1306,
    kTargetWriteFailed = -2106,
    kTargetBadAddress = -2107,
};

}  // namespace tov::link
