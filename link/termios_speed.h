// Line rates in baud and the termios speed constants that stand for them.
#pragma once

#include <termios.h>

#include <cstdint>

namespace tov::link {

// The speed constant of a rate, or B0 when termios has none for it.
speed_t termiosSpeed(uint32_t baud);
// The rate of a speed constant, or 0 for one this table does not know.
uint32_t baudOfSpeed(speed_t speed);

}  // namespace tov::link
