// Loader requests through the library's exported functions.
#include "maint/exported_loader_link.h"

#include <chrono>
#include <limits>
#include <thread>

#include "include/tovlink.h"
#include "link/error_codes.h"

namespace tov::maint {

ExportedLoaderLink::ExportedLoaderLink(std::string port, Start start)
    : port_(std::move(port)), start_(start) {}

int32_t ExportedLoaderLink::open() {
    switch (start_) {
    case Start::kOpen:
        return TOV_Open(port_.c_str());
    case Start::kConnect:
        return TOV_Connect(port_.c_str());
    case Start::kAlreadyOpen:
        break;
    }
    return link::kOk;
}

void ExportedLoaderLink::close() {
    if (start_ != Start::kAlreadyOpen) TOV_Close();
}

int32_t ExportedLoaderLink::transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                                     int32_t extraTimeout) {
    constexpr size_t kMost = std::numeric_limits<int32_t>::max();
    if (request.size() > kMost || answer.size() > kMost) return link::kInvalidParameter;
    return TOV_Transaction(static_cast<int32_t>(request.size()), request.data(),
                           static_cast<int32_t>(answer.size()), answer.data(), extraTimeout);
}

void ExportedLoaderLink::sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tov::maint
