// Reading and writing the probe's flash file.
#include "sim/probe_flash_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tov::sim {
namespace {

constexpr const char* kFirstLine = "tovsim probe flash 1";

}  // namespace

std::string loadProbeFile(const std::string& path, ProbeModel model, ProbeFlash& flash,
                          LogicDevice& logic) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path + ": " + std::strerror(errno);
    std::string line;
    if (!std::getline(in, line) || line != kFirstLine) return path + " is not a probe flash file";
    if (!std::getline(in, line) || line != std::string("model ") + modelName(model)) {
        return path + " holds the flash of another probe model (" + line + "), not " +
               modelName(model);
    }
    std::string word;
    uint32_t base = 0;
    size_t size = 0;
    if (!(in >> word >> std::hex >> base >> std::dec >> size) || word != "flash" ||
        base != flash.layout().base || size != flash.layout().size() || in.get() != '\n') {
        return path + ": the flash section does not fit the model";
    }
    std::vector<uint8_t> bytes(size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)) ||
        in.get() != '\n') {
        return path + " is cut short in its flash section";
    }
    size_t rows = 0, fuses = 0, uesBits = 0;
    const LogicGeometry& g = logic.geometry();
    if (!(in >> word >> rows >> fuses >> uesBits) || word != "logic" || rows != g.rows ||
        fuses != g.fusesPerRow || uesBits != g.uesBits || in.get() != '\n') {
        return path + ": the logic section does not fit the model";
    }
    std::vector<std::string> rowTexts(rows);
    for (std::string& row : rowTexts) std::getline(in, row);
    std::string ues;
    std::getline(in, ues);
    LogicDevice loaded(model);
    if (!in || !loaded.restore(std::move(rowTexts), std::move(ues))) {
        return path + ": the logic section is damaged";
    }
    flash.replace(std::move(bytes));
    logic.restore(loaded.rows(), loaded.ues());
    return {};
}

std::string saveProbeFile(const std::string& path, const ProbeFlash& flash,
                          const LogicDevice& logic) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot write " + temporary + ": " + std::strerror(errno);
        char header[64];
        std::snprintf(header, sizeof header, "flash %08X %zu\n", flash.layout().base,
                      flash.bytes().size());
        out << kFirstLine << '\n' << "model " << modelName(flash.model()) << '\n' << header;
        out.write(reinterpret_cast<const char*>(flash.bytes().data()),
                  static_cast<std::streamsize>(flash.bytes().size()));
        const LogicGeometry& g = logic.geometry();
        out << '\n' << "logic " << g.rows << ' ' << g.fusesPerRow << ' ' << g.uesBits << '\n';
        for (const std::string& row : logic.rows()) out << row << '\n';
        out << logic.ues() << '\n';
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return "cannot write " + temporary;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temporary.c_str());
        return "cannot rename " + temporary + " to " + path + ": " + why;
    }
    return {};
}

}  // namespace tov::sim
