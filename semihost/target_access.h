// What the semihosting service needs of its surroundings: access to the stopped target's memory
// and registers, and the debugger's console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tov::semihost {

// The halted target as the service sees it. Every call returns 0 or a negative error code of the
// access path (for the probe: a code of its error table), which the service hands back unchanged.
class TargetAccess {
public:
    virtual ~TargetAccess() = default;
    virtual int readMemory(uint32_t address, std::span<uint8_t> out) = 0;
    virtual int writeMemory(uint32_t address, std::span<const uint8_t> data) = 0;
    // r0 and r1 of the current mode, in one go.
    virtual int readArguments(uint32_t& r0, uint32_t& r1) = 0;
    // r0 of the current mode (the call's result).
    virtual int writeResult(uint32_t r0) = 0;
};

// The debugger's console, as its host interface offers it.
class Console {
public:
    virtual ~Console() = default;
    virtual void writeChar(uint8_t character) = 0;
    // How many of the bytes were written.
    virtual size_t writeBlock(std::span<const uint8_t> data) = 0;
    // One line typed by the user, at most out.size() bytes of it, with its newline when there
    // is room; its length (0 at the end of input).
    virtual size_t readLine(std::span<uint8_t> out) = 0;
    // One character typed by the user (0 when there is none to be had).
    virtual int readChar() = 0;
};

}  // namespace tov::semihost
