// The file a load, verify or flash command hands to the library: an S-record file as it is; an
// ELF, Intel HEX or raw binary file (at --base) converted into a temporary S-record file first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tov::cli {

class ImageInput {
public:
    ImageInput() = default;
    ~ImageInput();
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    // Reads and checks `path` before anything is sent; false with a one-line `error` naming the
    // file (and the place, for a malformed file). A file in none of the known formats is a raw
    // binary and needs `base`; the known formats carry their own addresses and refuse one.
    bool prepare(const std::string& path, std::optional<uint32_t> base, std::string& error);
    // The S-record file to hand to the library.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
};

}  // namespace tov::cli
