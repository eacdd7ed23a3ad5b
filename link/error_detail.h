// The words behind the last failure of the calling thread: the path and the system's reason, the
// file line, or the bytes that differed. Error codes stay the interface; this only explains them.
#pragma once

#include <string>

namespace tov::link {

// Records the explanation of a failure about to be returned.
void setErrorDetail(std::string text);
// Forgets the explanation; each call that may explain its failure starts with this.
void clearErrorDetail();
// The explanation of the last failure, empty when there is none.
const std::string& errorDetail();

}  // namespace tov::link
