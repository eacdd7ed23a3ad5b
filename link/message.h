// Big-endian fields of probe messages: a request builder, a bounds-checked answer reader, and
// the plain field helpers for frames built outside a builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "link/error_codes.h"

namespace tov::link {

inline uint16_t readBigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t{readBigEndian16(p)} << 16) | readBigEndian16(p + 2);
}
inline void writeBigEndian16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void writeBigEndian32(uint8_t* p, uint32_t v) {
    writeBigEndian16(p, static_cast<uint16_t>(v >> 16));
    writeBigEndian16(p + 2, static_cast<uint16_t>(v));
}

// Appends big-endian fields to a request buffer; the caller sizes the request beforehand.
class RequestBuilder {
public:
    explicit RequestBuilder(std::span<uint8_t> buffer) : buffer_(buffer) {}
    RequestBuilder& u8(uint8_t v) {
        buffer_[size_++] = v;
        return *this;
    }
    RequestBuilder& u16(uint16_t v) {
        writeBigEndian16(buffer_.data() + size_, v);
        size_ += 2;
        return *this;
    }
    RequestBuilder& u32(uint32_t v) {
        writeBigEndian32(buffer_.data() + size_, v);
        size_ += 4;
        return *this;
    }
    RequestBuilder& bytes(const void* data, size_t n) {
        if (n) std::memcpy(buffer_.data() + size_, data, n);
        size_ += n;
        return *this;
    }
    size_t size() const { return size_; }
    std::span<const uint8_t> view() const { return buffer_.first(size_); }

private:
    std::span<uint8_t> buffer_;
    size_t size_ = 0;
};

// Reads big-endian fields of a received answer; never past its end.
class AnswerView {
public:
    explicit AnswerView(std::span<const uint8_t> data) : data_(data) {}
    size_t size() const { return data_.size(); }
    uint8_t code() const { return data_.empty() ? 0 : data_[0]; }
    uint8_t u8(size_t at) const { return data_[at]; }
    uint16_t u16(size_t at) const { return readBigEndian16(data_.data() + at); }
    int16_t s16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(size_t at) const { return readBigEndian32(data_.data() + at); }
    // The probe status at bytes 1-2, sign-extended.
    // The status word at byte 1: 0, or a failure of the probe (negative). A positive word is no
    // status a probe sends; it reads as a malformed answer (-1205), so no caller can take it for
    // a count or an identifier.
    int32_t status() const {
        const int32_t word = s16(1);
        return word > 0 ? kInvalidResponse : word;
    }
    const uint8_t* at(size_t offset) const { return data_.data() + offset; }
    // Bytes available from `offset` on.
    size_t rest(size_t offset) const { return offset < data_.size() ? data_.size() - offset : 0; }

private:
    std::span<const uint8_t> data_;
};

}  // namespace tov::link
