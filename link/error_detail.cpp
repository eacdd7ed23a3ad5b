// Thread-local storage of the last failure's explanation. The storage is a plain array: a
// thread-local object with a destructor would register that destructor with the thread and so
// keep a library that was loaded with dlopen in memory after dlclose, until the thread ends.
#include "link/error_detail.h"

#include <cstring>

namespace tov::link {
namespace {

thread_local char lastDetail[kErrorDetailCapacity + 1];

}  // namespace

void setErrorDetail(std::string_view text) {
    static constexpr std::string_view kCut = "...";
    if (text.size() <= kErrorDetailCapacity) {
        std::memcpy(lastDetail, text.data(), text.size());
        lastDetail[text.size()] = '\0';
        return;
    }
    const size_t kept = kErrorDetailCapacity - kCut.size();
    std::memcpy(lastDetail, text.data(), kept);
    std::memcpy(lastDetail + kept, kCut.data(), kCut.size());
    lastDetail[kErrorDetailCapacity] = '\0';
}

void clearErrorDetail() {
    lastDetail[0] = '\0';
}

const char* errorDetail() {
    return lastDetail;
}

}  // namespace tov::link
