// Reading ELF executables (through libelf) and Intel HEX files, and writing images as
// S-records.
#include "files/image_file.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "files/srecord_writer.h"

namespace tov::files {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Appends bytes at `address`, extending the last segment when they follow it.
void addBytes(std::vector<ImageSegment>& segments, uint32_t address, const uint8_t* data,
              size_t length) {
    if (!segments.empty()) {
        ImageSegment& last = segments.back();
        if (last.address + last.bytes.size() == address) {
            last.bytes.insert(last.bytes.end(), data, data + length);
            return;
        }
    }
    segments.push_back({address, std::vector<uint8_t>(data, data + length)});
}

// Bytes looked at to tell the formats apart, leading blank lines included.
constexpr size_t kSniffedBytes = 256;

}  // namespace

ImageFormat imageFormat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[kSniffedBytes] = {};
    in.read(head, sizeof head);
    const size_t got = static_cast<size_t>(in.gcount());
    if (got >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return ImageFormat::Elf;
    // Text formats may open with blank lines, which their readers pass over.
    size_t at = 0;
    while (at < got &&
           (head[at] == '\n' || head[at] == '\r' || head[at] == ' ' || head[at] == '\t'))
        ++at;
    if (at < got && head[at] == ':') return ImageFormat::IntelHex;
    if (at + 1 < got && head[at] == 'S' && head[at + 1] >= '0' && head[at + 1] <= '9')
        return ImageFormat::SRecord;
    return ImageFormat::Unknown;
}

bool readImage(const std::string& path, ImageFormat format, std::vector<ImageSegment>& segments,
               std::string& error) {
    if (format == ImageFormat::Elf) return readElf(path, segments, error);
    if (format == ImageFormat::IntelHex) return readIntelHex(path, segments, error);
    error = path + ": not an ELF or Intel HEX file";
    return false;
}

bool readIntelHex(const std::string& path, std::vector<ImageSegment>& segments,
                  std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    segments.clear();
    uint32_t base = 0;
    bool ended = false;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        const auto fail = [&](const std::string& what) {
            error = path + ": line " + std::to_string(number) + ": " + what;
            return false;
        };
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (ended) return fail("data after the end-of-file record");
        if (line[0] != ':' || line.size() < 11 || line.size() % 2 == 0)
            return fail("not an Intel HEX record");
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i < line.size(); i += 2) {
            const int high = hexDigit(line[i]), low = hexDigit(line[i + 1]);
            if (high < 0 || low < 0) return fail("not a hex digit");
            bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        }
        const size_t count = bytes[0];
        if (bytes.size() != count + 5) return fail("the byte count does not match the record");
        uint8_t sum = 0;
        for (const uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
        if (sum != 0) return fail("bad checksum");
        const uint32_t offset = static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
        const uint8_t* data = bytes.data() + 4;
        switch (bytes[3]) {
        case 0:
            addBytes(segments, base + offset, data, count);
            break;
        case 1: ended = true; break;
        case 2:
            if (count != 2) return fail("a segment address record has two data bytes");
            base = static_cast<uint32_t>(data[0] << 8 | data[1]) << 4;
            break;
        case 4:
            if (count != 2) return fail("a linear address record has two data bytes");
            base = static_cast<uint32_t>(data[0] << 8 | data[1]) << 16;
            break;
        case 3:
        case 5:
            if (count != 4) return fail("a start address record has four data bytes");
            break;
        default: return fail("unknown record type " + std::to_string(bytes[3]));
        }
    }
    if (!ended) {
        error = path + ": no end-of-file record (the file is cut short)";
        return false;
    }
    return true;
}

bool readElf(const std::string& path, std::vector<ImageSegment>& segments, std::string& error) {
    segments.clear();
    if (elf_version(EV_CURRENT) == EV_NONE) {
        error = path + ": the ELF library cannot be used";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot be opened";
        return false;
    }
    Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
    const auto finish = [&](bool ok, const std::string& what) {
        if (!ok) error = path + ": " + what;
        if (elf != nullptr) elf_end(elf);
        ::close(fd);
        return ok;
    };
    if (elf == nullptr || elf_kind(elf) != ELF_K_ELF) return finish(false, "not an ELF file");
    GElf_Ehdr header;
    if (gelf_getehdr(elf, &header) == nullptr) return finish(false, "bad ELF header");
    if (header.e_type != ET_EXEC) return finish(false, "not an executable (a relocatable object?)");
    size_t count = 0;
    if (elf_getphdrnum(elf, &count) != 0) return finish(false, "bad program header table");
    size_t fileSize = 0;
    const char* image = elf_rawfile(elf, &fileSize);
    if (image == nullptr) return finish(false, "cannot be read");
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr segment;
        if (gelf_getphdr(elf, static_cast<int>(i), &segment) == nullptr)
            return finish(false, "segment " + std::to_string(i) + ": bad program header");
        if (segment.p_type != PT_LOAD || segment.p_filesz == 0) continue;
        if (segment.p_offset > fileSize || segment.p_filesz > fileSize - segment.p_offset)
            return finish(false, "segment " + std::to_string(i) + ": reaches past the end of the file");
        if (segment.p_paddr + segment.p_filesz > 0x100000000ull)
            return finish(false, "segment " + std::to_string(i) + ": beyond the 32-bit address space");
        addBytes(segments, static_cast<uint32_t>(segment.p_paddr),
                 reinterpret_cast<const uint8_t*>(image + segment.p_offset), segment.p_filesz);
    }
    if (segments.empty()) return finish(false, "no loadable segment");
    return finish(true, "");
}

bool readBinary(const std::string& path, uint32_t base, std::vector<ImageSegment>& segments,
                std::string& error) {
    segments.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    if (bytes.empty()) {
        error = path + ": the file is empty";
        return false;
    }
    if (base + uint64_t{bytes.size()} > 0x100000000ull) {
        char text[96];
        std::snprintf(text, sizeof text, ": %zu bytes at 0x%08X run past address 0xFFFFFFFF",
                      bytes.size(), static_cast<unsigned>(base));
        error = path + text;
        return false;
    }
    segments.push_back({base, std::move(bytes)});
    return true;
}

bool writeSRecords(const std::string& path, const std::vector<ImageSegment>& segments) {
    SRecordWriter writer;
    if (!writer.create(path.c_str())) return false;
    for (const ImageSegment& segment : segments) {
        const uint8_t type = 3;
        const size_t piece = 32;
        for (size_t at = 0; at < segment.bytes.size(); at += piece) {
            const size_t length = std::min(piece, segment.bytes.size() - at);
            if (!writer.write(type, segment.address + static_cast<uint32_t>(at),
                              segment.bytes.data() + at, length)) {
                writer.close();
                return false;
            }
        }
    }
    return writer.close();
}

}  // namespace tov::files
