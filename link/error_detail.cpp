// Thread-local storage of the last failure's explanation.
#include "link/error_detail.h"

namespace tov::link {
namespace {

thread_local std::string lastDetail;

}  // namespace

void setErrorDetail(std::string text) {
    lastDetail = std::move(text);
}

void clearErrorDetail() {
    lastDetail.clear();
}

const std::string& errorDetail() {
    return lastDetail;
}

}  // namespace tov::link
