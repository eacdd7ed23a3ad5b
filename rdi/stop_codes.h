// The RDI code of a target that halted: by firmware family, stop cause and exception vector.
#pragma once

#include <cstdint>

namespace tov::rdi {

// Whether the stop is the target program's semihosting call.
bool isSemihostingStop(uint16_t family, uint32_t cause);

// The stop code of a halted target (143 breakpoint, 144 watchpoint, 147 user interrupt, 162
// target broken, 1 to 8 for an exception by its vector offset).
int stopCode(uint16_t family, uint32_t cause, uint32_t vectorOffset);

}  // namespace tov::rdi
