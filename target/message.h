// Big-endian request building and bounds-checked answer reading for probe messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tov::target {

// Appends big-endian fields to a request buffer; the caller sizes the request beforehand.
class RequestBuilder {
public:
    explicit RequestBuilder(std::span<uint8_t> buffer) : buffer_(buffer) {}
    RequestBuilder& u8(uint8_t v) {
        buffer_[size_++] = v;
        return *this;
    }
    RequestBuilder& u16(uint16_t v) { return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v)); }
    RequestBuilder& u32(uint32_t v) {
        return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v));
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
    uint16_t u16(size_t at) const {
        return static_cast<uint16_t>((data_[at] << 8) | data_[at + 1]);
    }
    int16_t s16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(size_t at) const { return (uint32_t{u16(at)} << 16) | u16(at + 2); }
    // The probe status at bytes 1-2, sign-extended.
    int32_t status() const { return s16(1); }
    const uint8_t* at(size_t offset) const { return data_.data() + offset; }
    // Bytes available from `offset` on.
    size_t rest(size_t offset) const { return offset < data_.size() ? data_.size() - offset : 0; }

private:
    std::span<const uint8_t> data_;
};

}  // namespace tov::target
