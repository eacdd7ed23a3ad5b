// The operating system's serial port as the transport sees it: a narrow table of operations,
// implemented over termios for real ports and scripted in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tov::link {

class SerialDevice {
public:
    // Gone: the port itself has gone away (hung up, unplugged, the other end of a
    // pseudo-terminal closed); no later read will succeed.
    enum class ReadResult { Byte, Timeout, Error, Gone };

    virtual ~SerialDevice() = default;
    // Switches the line rate; false when the port cannot run at that rate.
    virtual bool setRate(uint32_t baud) = 0;
    // Reads one byte, waiting at most timeoutMs. Error means the read failed at once.
    virtual ReadResult readByte(uint8_t& byte, uint32_t timeoutMs) = 0;
    // Writes all bytes within timeoutMs; returns the number written.
    virtual size_t write(const uint8_t* data, size_t length, uint32_t timeoutMs) = 0;
    // Clears a pending line error; false when the port itself has failed (for example hung up).
    virtual bool clearError() = 0;
    // Bytes received and not yet read; 0 when the port reports an error.
    virtual size_t inputQueued() = 0;
    // Why the port is gone, in the system's words, once a read said Gone or clearError() met a
    // hang-up; empty before.
    virtual std::string goneReason() const { return {}; }
};

// Opens serial devices by path; tests replace it to script the line.
class SerialDeviceFactory {
public:
    virtual ~SerialDeviceFactory() = default;
    // Opens and configures the port (raw 8N1 at 9600, exclusive); nullptr on failure.
    virtual std::unique_ptr<SerialDevice> open(const std::string& path) = 0;
};

SerialDeviceFactory& termiosDeviceFactory();

}  // namespace tov::link
