// Conversion of ELF and Intel HEX input into S-records for the library's file functions.
#include "image_input.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "files/image_file.h"

namespace tov::cli {

ImageInput::~ImageInput() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ImageInput::prepare(const std::string& path, std::string& error) {
    path_ = path;
    const files::ImageFormat format = files::imageFormat(path);
    if (format != files::ImageFormat::Elf && format != files::ImageFormat::IntelHex) return true;
    std::vector<files::ImageSegment> segments;
    if (!files::readImage(path, format, segments, error)) return false;
    std::string pattern = (std::filesystem::temp_directory_path() / "tov-image-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "cannot make a temporary file for " + path;
        return false;
    }
    ::close(fd);
    temporary_ = pattern;
    if (!files::writeSRecords(temporary_, segments)) {
        error = "cannot write the temporary file " + temporary_;
        return false;
    }
    path_ = temporary_;
    return true;
}

}  // namespace tov::cli
