// The guard of every export of the library: nothing thrown inside an export reaches its caller.
#pragma once

#include <cstdint>
#include <utility>

#include "link/c_boundary.h"
#include "link/error_codes.h"

namespace tov::lib {

// What an export returns when something inside it threw (memory exhausted): the library's code
// for a call it could not carry out, with "internal failure: ..." in TOV_LastErrorDetail.
constexpr int32_t kInternalFailure = link::kInvalidParameter;

// Runs an export's body: its code, or kInternalFailure when it threw.
template <typename Fn, typename Report = link::NoEscapeReport>
int32_t guarded(Fn&& fn, Report&& report = {}) noexcept {
    return link::guardedCall<int32_t>(kInternalFailure, std::forward<Fn>(fn),
                                      std::forward<Report>(report));
}

}  // namespace tov::lib
