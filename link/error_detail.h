// The words behind the last failure of the calling thread: the path and the system's reason, the
// file line, or the bytes that differed. Error codes stay the interface; this only explains them.
#pragma once

#include <cstddef>
#include <string_view>

namespace tov::link {

// The longest explanation kept: a path of the system's longest length and its reason. A longer
// text is cut and ends with "...".
inline constexpr size_t kErrorDetailCapacity = 4096 + 512;

// Records the explanation of a failure about to be returned.
void setErrorDetail(std::string_view text);
// Forgets the explanation; each call that may explain its failure starts with this.
void clearErrorDetail();
// The explanation of the last failure of this thread, empty when there is none; valid until the
// thread's next failure.
const char* errorDetail();

}  // namespace tov::link
