// Reading S-record, Intel HEX and ELF files (through libelf) and raw binaries into images.
#include "files/image_file.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/srecord_reader.h"

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
constexpr uint64_t kAddressSpace = 0x100000000ull;
// A text file holds at least two digits per data byte and some framing.
constexpr uint64_t kMaxTextFileBytes = 4 * kMaxImageBytes;

std::string hex32(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

std::string pastTheEnd(uint64_t address, uint64_t length) {
    return std::to_string(length) + " bytes at " + hex32(address) + " run past address 0xFFFFFFFF";
}

const char* formatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Elf:
            return "an ELF file";
        case ImageFormat::IntelHex:
            return "an Intel HEX file";
        case ImageFormat::SRecord:
            return "an S-record file";
        case ImageFormat::Unknown:
            break;
    }
    return "a raw binary";
}

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

bool readSRecords(const std::string& path, std::vector<ImageSegment>& segments,
                  std::string& error) {
    segments.clear();
    SRecordReader reader(kLoadLineRules);
    if (!reader.open(path.c_str())) {
        error = reader.problem();
        return false;
    }
    SRecord record;
    SRecordReader::Status status;
    while ((status = reader.next(record)) == SRecordReader::Status::kRecord) {
        if (record.address + uint64_t{record.length} > kAddressSpace) {
            error = "line " + std::to_string(reader.lineNumber()) + ": " +
                    pastTheEnd(record.address, record.length);
            return false;
        }
        addBytes(segments, record.address, record.data, record.length);
    }
    if (status != SRecordReader::Status::kEnd) {
        error = reader.problem();
        return false;
    }
    return true;
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
                if (uint64_t{base} + offset + count > kAddressSpace)
                    return fail(pastTheEnd(uint64_t{base} + offset, count));
                addBytes(segments, base + offset, data, count);
                break;
            case 1:
                ended = true;
                break;
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
            default:
                return fail("unknown record type " + std::to_string(bytes[3]));
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
    std::vector<GElf_Phdr> loads;
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr segment;
        if (gelf_getphdr(elf, static_cast<int>(i), &segment) == nullptr)
            return finish(false, "segment " + std::to_string(i) + ": bad program header");
        if (segment.p_type != PT_LOAD || segment.p_filesz == 0) continue;
        if (segment.p_offset > fileSize || segment.p_filesz > fileSize - segment.p_offset)
            return finish(false,
                          "segment " + std::to_string(i) + ": reaches past the end of the file");
        if (segment.p_paddr + segment.p_filesz > kAddressSpace)
            return finish(false,
                          "segment " + std::to_string(i) + ": beyond the 32-bit address space");
        loads.push_back(segment);
    }
    // With section headers, the allocated sections with contents are loaded, as a debugger
    // loads them: a segment's padding between its sections is no part of the program. Each goes
    // to its load address, found through the segment that holds its bytes in the file.
    size_t sections = 0;
    size_t names = 0;
    const bool useSections = header.e_shoff != 0 && header.e_shoff <= fileSize &&
                             elf_getshdrnum(elf, &sections) == 0 && sections > 1 &&
                             uint64_t{sections} * header.e_shentsize <= fileSize - header.e_shoff &&
                             elf_getshdrstrndx(elf, &names) == 0;
    if (!useSections) {
        for (const GElf_Phdr& segment : loads) {
            addBytes(segments, static_cast<uint32_t>(segment.p_paddr),
                     reinterpret_cast<const uint8_t*>(image + segment.p_offset), segment.p_filesz);
        }
    }
    for (Elf_Scn* scn = nullptr; useSections && (scn = elf_nextscn(elf, scn)) != nullptr;) {
        GElf_Shdr section;
        if (gelf_getshdr(scn, &section) == nullptr)
            return finish(false,
                          "section " + std::to_string(elf_ndxscn(scn)) + ": bad section header");
        if ((section.sh_flags & SHF_ALLOC) == 0 || section.sh_type == SHT_NOBITS ||
            section.sh_size == 0)
            continue;
        const char* name = elf_strptr(elf, names, section.sh_name);
        const std::string place =
            "section " + (name != nullptr && *name != '\0' ? std::string(name)
                                                           : std::to_string(elf_ndxscn(scn)));
        if (section.sh_offset > fileSize || section.sh_size > fileSize - section.sh_offset)
            return finish(false, place + ": reaches past the end of the file");
        uint64_t address = section.sh_addr;
        for (const GElf_Phdr& segment : loads) {
            if (section.sh_offset >= segment.p_offset &&
                section.sh_offset + section.sh_size <= segment.p_offset + segment.p_filesz) {
                address = segment.p_paddr + (section.sh_offset - segment.p_offset);
                break;
            }
        }
        if (address + section.sh_size > kAddressSpace)
            return finish(false, place + ": beyond the 32-bit address space");
        addBytes(segments, static_cast<uint32_t>(address),
                 reinterpret_cast<const uint8_t*>(image + section.sh_offset), section.sh_size);
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

void splitImage(const Image& image, uint32_t base, uint64_t size, Image& inside, Image& outside) {
    inside = Image{image.format, {}, 0};
    outside = Image{image.format, {}, 0};
    const uint64_t end = base + size;
    const auto add = [](Image& to, const ImageSegment& from, uint64_t begin, uint64_t stop) {
        if (begin >= stop) return;
        const auto first = from.bytes.begin() + static_cast<ptrdiff_t>(begin - from.address);
        to.segments.push_back(
            {static_cast<uint32_t>(begin), {first, first + static_cast<ptrdiff_t>(stop - begin)}});
        to.dataBytes += stop - begin;
    };
    for (const ImageSegment& segment : image.segments) {
        const uint64_t first = segment.address;
        const uint64_t last = first + segment.bytes.size();
        add(outside, segment, first, std::min(last, uint64_t{base}));
        add(inside, segment, std::max(first, uint64_t{base}), std::min(last, end));
        add(outside, segment, std::max(first, end), last);
    }
}

std::string findOverlap(const std::vector<ImageSegment>& segments) {
    std::vector<const ImageSegment*> sorted;
    for (const ImageSegment& segment : segments) {
        if (!segment.bytes.empty()) sorted.push_back(&segment);
    }
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const ImageSegment* a, const ImageSegment* b) { return a->address < b->address; });
    for (size_t i = 1; i < sorted.size(); ++i) {
        const ImageSegment& before = *sorted[i - 1];
        const ImageSegment& after = *sorted[i];
        const uint64_t end = before.address + uint64_t{before.bytes.size()};
        if (end > after.address) {
            return hex32(before.address) + "-" + hex32(end - 1) + " overlaps " +
                   hex32(after.address) + "-" +
                   hex32(after.address + uint64_t{after.bytes.size()} - 1);
        }
    }
    return {};
}

bool readImage(const std::string& path, const ImageRequest& request, Image& image,
               std::string& error) {
    image = Image{};
    const ImageFormat format = request.format ? *request.format : imageFormat(path);
    image.format = format;
    if (format != ImageFormat::Unknown && request.base) {
        error = path + " is " + formatName(format) +
                ", which carries its own addresses: --base is for raw binaries (--offset moves "
                "a file)";
        return false;
    }
    if (format == ImageFormat::Unknown && !request.base) {
        error = path + (request.format
                            ? ": a raw binary needs --base ADDR, the address of its first byte"
                            : ": not an S-record, Intel HEX or ELF file; give --base ADDR to "
                              "take it as a raw binary");
        return false;
    }
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    const bool text = format == ImageFormat::SRecord || format == ImageFormat::IntelHex;
    const uint64_t limit = text ? kMaxTextFileBytes : kMaxImageBytes;
    if (!ec && size > limit) {
        error = path + ": the file is larger than " + std::to_string(limit >> 20) +
                " MiB, more than one image may hold";
        return false;
    }
    bool read = false;
    switch (format) {
        case ImageFormat::SRecord:
            read = readSRecords(path, image.segments, error);
            if (!read) error = path + ": " + error;
            break;
        case ImageFormat::IntelHex:
            read = readIntelHex(path, image.segments, error);
            break;
        case ImageFormat::Elf:
            read = readElf(path, image.segments, error);
            break;
        case ImageFormat::Unknown:
            read = readBinary(path, *request.base, image.segments, error);
            break;
    }
    if (!read) return false;
    for (ImageSegment& segment : image.segments) {
        const uint64_t length = segment.bytes.size();
        // The offset wraps at 4 GiB (a large one moves a file down); the data may not.
        const uint64_t moved = (segment.address + uint64_t{request.offset}) % kAddressSpace;
        if (moved + length > kAddressSpace) {
            error = path + ": " + pastTheEnd(moved, length) + " (offset " + hex32(request.offset) +
                    " added)";
            return false;
        }
        segment.address = static_cast<uint32_t>(moved);
        image.dataBytes += length;
    }
    if (image.dataBytes > kMaxImageBytes) {
        error = path + ": more than " + std::to_string(kMaxImageBytes >> 20) +
                " MiB of data, more than one image may hold";
        return false;
    }
    if (const std::string overlap = findOverlap(image.segments); !overlap.empty()) {
        error = path + ": the data at " + overlap + " (the same bytes are given twice)";
        return false;
    }
    return true;
}

}  // namespace tov::files
