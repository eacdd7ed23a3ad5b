// Conversion of ELF, Intel HEX and raw binary input into S-records for the library's file
// functions.
#include "image_input.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "files/image_file.h"

namespace tov::cli {

namespace {

const char* formatName(files::ImageFormat format) {
    switch (format) {
        case files::ImageFormat::Elf:
            return "an ELF file";
        case files::ImageFormat::IntelHex:
            return "an Intel HEX file";
        case files::ImageFormat::SRecord:
            return "an S-record file";
        case files::ImageFormat::Unknown:
            break;
    }
    return "a raw binary";
}

}  // namespace

ImageInput::~ImageInput() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ImageInput::prepare(const std::string& path, std::optional<uint32_t> base,
                         std::string& error) {
    path_ = path;
    // A file that cannot be read is reported with the system's reason by the checks that follow.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return true;
    const files::ImageFormat format = files::imageFormat(path);
    if (format != files::ImageFormat::Unknown && base) {
        error = path + " is " + formatName(format) +
                ", which carries its own addresses: --base is for raw binaries (--offset moves "
                "a file)";
        return false;
    }
    if (format == files::ImageFormat::Unknown && !base) {
        error = path +
                ": not an S-record, Intel HEX or ELF file; give --base ADDR to take it as "
                "a raw binary";
        return false;
    }
    if (format == files::ImageFormat::SRecord) return true;
    std::vector<files::ImageSegment> segments;
    const bool read = format == files::ImageFormat::Unknown
                          ? files::readBinary(path, *base, segments, error)
                          : files::readImage(path, format, segments, error);
    if (!read) return false;
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
