// The target access requests (run control, state, information, registers, memory, break- and
// watchpoints, terminal, channels, direct commands) over one link connection.
#pragma once

#include <cstdint>
#include <functional>

#include "include/tov_types.h"
#include "link/frame_header.h"
#include "link/link_context.h"
#include "link/message.h"

namespace tov::target {

using link::AnswerView;
using link::RequestBuilder;

// Encodes each request, sends it through the connection's transaction and decodes the answer.
// One instance per connection; its two buffers serve every request.
class TargetLink {
public:
    explicit TargetLink(link::LinkContext& link) : link_(link) {}

    // Called after a successful reset or startup: the target's kept state is stale then.
    void setTargetResetHook(std::function<void()> hook) { onTargetReset_ = std::move(hook); }

    // Run control, state and information.
    int32_t start();
    int32_t halt();
    int32_t reset(uint16_t value);
    int32_t step(uint32_t first, uint32_t second, uint16_t third, uint32_t& result);
    int32_t state(uint16_t& state, int32_t& error, uint32_t& value, uint16_t& valueCount,
                  uint32_t* values);
    int32_t startup(uint16_t value, uint32_t parameter, uint16_t entryCount,
                    const StartupEntry* entries);
    int32_t info(TargetInfo& info);
    int32_t setBdmSpeed(uint32_t speed);

    // Registers. In the RDI flavour FP data is two host words per register.
    int32_t registerGet(uint16_t count, const RegisterDescriptor* registers, uint32_t* values);
    int32_t registerSet(uint16_t count, const RegisterDescriptor* registers, const int32_t* values);
    int32_t fpRegGet(uint16_t first, uint16_t last, void* data);
    int32_t fpRegSet(uint16_t first, uint16_t last, const void* data);
    int32_t vRegGet(uint16_t first, uint16_t last, uint8_t* data);
    int32_t vRegSet(uint16_t first, uint16_t last, const uint8_t* data);

    // Memory in pieces of at most 1024 bytes, and the single-item accessors.
    int32_t memoryRead(uint32_t address, uint16_t access, uint16_t count, uint8_t* buffer);
    int32_t memoryWrite(uint32_t address, uint16_t access, uint16_t count, const uint8_t* data);
    int32_t getItem(uint32_t address, int width, uint32_t& value);
    int32_t setItem(uint32_t address, int width, uint32_t value);

    // Breakpoints and watchpoints: add returns the identifier.
    int32_t breakAdd(uint32_t address, uint32_t kind);
    int32_t breakRead(uint16_t identifier, uint32_t& value);
    int32_t breakDelete(int32_t identifier);
    int32_t watchAdd(uint16_t mode, uint32_t address, uint32_t bound, uint32_t third,
                     uint32_t fourth);
    int32_t watchDelete(int32_t identifier);

    // Terminal, channels and direct commands.
    int32_t terminalRead(char* text);
    int32_t terminalWrite(uint8_t character);
    int32_t channelRead(uint16_t channel, uint16_t count, uint8_t* buffer);
    int32_t channelWrite(uint16_t channel, uint16_t count, const uint8_t* data);
    int32_t directCommand(const char* command, uint16_t capacity, char* reply);

private:
    RequestBuilder request() { return RequestBuilder(request_); }
    // Sends the built request; returns the answer length or a negative code. `answer()` views
    // the received bytes afterwards.
    int32_t exchange(const RequestBuilder& request, uint32_t extraWait);
    AnswerView answer(int32_t length) const {
        return AnswerView(std::span<const uint8_t>(answer_, static_cast<size_t>(length)));
    }
    // Exchange of a request whose answer is exactly `length` bytes with `code`: the status, or
    // -1205 / a transaction error.
    int32_t statusAnswer(int32_t rc, uint8_t code, size_t length) const;
    int32_t statusExchange(const RequestBuilder& request, uint32_t extraWait, uint8_t code,
                           size_t length = 3);
    int32_t pointAdd(const RequestBuilder& request);
    int32_t pointDelete(uint8_t code, int32_t identifier);
    void targetWasReset() {
        if (onTargetReset_) onTargetReset_();
    }
    const link::LinkFlavour& flavour() const { return link_.flavour(); }

    link::LinkContext& link_;
    std::function<void()> onTargetReset_;
    uint8_t request_[link::kMaxMessage];
    uint8_t answer_[link::kHeaderSize + link::kMaxMessage];
};

}  // namespace tov::target
