// The target program's console as the debugger's host interface offers it: the semihosting
// service writes and reads through the host interface's entries, host argument first.
#pragma once

#include "include/tovrdi.h"
#include "semihost/target_access.h"

namespace tov::rdi {

class HostConsole : public semihost::Console {
public:
    void setHost(const RDI_HostosInterface* host) { host_ = host; }

    void writeChar(uint8_t character) override;
    size_t writeBlock(std::span<const uint8_t> data) override;
    size_t readLine(std::span<uint8_t> out) override;
    int readChar() override;

private:
    const RDI_HostosInterface* host_ = nullptr;
};

}  // namespace tov::rdi
