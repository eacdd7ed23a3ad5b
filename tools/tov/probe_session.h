// The connection one command runs on: the firmware is started on entry and the link closed on
// every way out of the command.
#pragma once

#include <cstdint>

#include "commands.h"
#include "tovlink.h"

namespace tov::cli {

// TOV_Connect for the lifetime of a command; TOV_Disconnect when it goes out of scope.
class ProbeSession {
public:
    explicit ProbeSession(const Invocation& call) : result_(TOV_Connect(call.port.c_str())) {}
    ProbeSession(const ProbeSession&) = delete;
    ProbeSession& operator=(const ProbeSession&) = delete;
    ~ProbeSession() { TOV_Disconnect(); }

    bool failed() const { return result_ < 0; }
    int32_t result() const { return result_; }

private:
    int32_t result_;
};

}  // namespace tov::cli
