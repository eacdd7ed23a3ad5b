// The loader procedures' way to the probe for programs that use libtovlink.so: the exported
// TOV_Open (or TOV_Connect), TOV_Transaction and TOV_Close.
#pragma once

#include <string>

#include "maint/loader_link.h"

namespace tov::maint {

class ExportedLoaderLink final : public LoaderLink {
public:
    // kOpen opens the link only (the loader's requests); kConnect also starts the firmware;
    // kAlreadyOpen uses the connection the caller holds and leaves opening and closing to it.
    enum class Start { kOpen, kConnect, kAlreadyOpen };
    explicit ExportedLoaderLink(std::string port, Start start = Start::kOpen);

    int32_t open() override;
    void close() override;
    int32_t transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                     int32_t extraTimeout) override;
    void sleepMs(uint32_t ms) override;

private:
    std::string port_;
    Start start_;
};

}  // namespace tov::maint
