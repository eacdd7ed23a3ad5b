// Millisecond clock and sleep behind an interface, so scripted tests run in virtual time.
#pragma once

#include <cstdint>

namespace tov::link {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t nowMs() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// The process's steady clock; one shared instance.
Clock& systemClock();

}  // namespace tov::link
