// The one table between baud rates and termios speed constants.
#include "link/termios_speed.h"

namespace tov::link {
namespace {

struct RateSpeed {
    uint32_t baud;
    speed_t speed;
};

constexpr RateSpeed kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

speed_t termiosSpeed(uint32_t baud) {
    for (const RateSpeed& r : kRates) {
        if (r.baud == baud) return r.speed;
    }
    return B0;
}

uint32_t baudOfSpeed(speed_t speed) {
    for (const RateSpeed& r : kRates) {
        if (r.speed == speed) return r.baud;
    }
    return 0;
}

}  // namespace tov::link
