// The file a load, verify or flash command hands to the library: an S-record file as it is, an
// ELF or Intel HEX file converted into a temporary S-record file first.
#pragma once

#include <string>

namespace tov::cli {

class ImageInput {
public:
    ImageInput() = default;
    ~ImageInput();
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    // Reads and checks `path` before anything is sent; false with `error` naming the file and
    // the place for a malformed file.
    bool prepare(const std::string& path, std::string& error);
    // The S-record file to hand to the library.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
};

}  // namespace tov::cli
