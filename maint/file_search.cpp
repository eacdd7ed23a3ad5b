// Directory search for versioned firmware and logic files.
#include "maint/file_search.h"

#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

namespace tov::maint {
namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

unsigned fileVersionOf(std::string_view fileName, std::string_view baseName) {
    if (fileName.size() != baseName.size() + 4) return 0;
    if (!sameLetters(fileName.substr(0, baseName.size()), baseName)) return 0;
    const std::string_view extension = fileName.substr(baseName.size());
    if (extension[0] != '.') return 0;
    unsigned version = 0;
    for (char c : extension.substr(1)) {
        if (c < '0' || c > '9') return 0;
        version = version * 10 + static_cast<unsigned>(c - '0');
    }
    return version <= 255 ? version : 0;
}

FoundFile findNewestFile(const std::string& pathPrefix, std::string_view baseName) {
    // Files are named by appending to the prefix, so its last component belongs to the name.
    const size_t slash = pathPrefix.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".")
                                  : slash == 0               ? std::string("/")
                                                             : pathPrefix.substr(0, slash);
    const std::string namePrefix =
        slash == std::string::npos ? pathPrefix : pathPrefix.substr(slash + 1);
    const std::string wanted = namePrefix + std::string(baseName);

    FoundFile best;
    best.directory = directory;
    best.pattern = wanted + ".nnn";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) {
        best.refused = std::string("the folder cannot be read: ") + std::strerror(errno);
        return best;
    }
    size_t refusedCount = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        const unsigned version = fileVersionOf(name, wanted);
        // A name that starts like the wanted one but carries no usable version is told, so
        // that a misnamed file is found at once; a long folder is not listed whole.
        if (version == 0 && name.size() > wanted.size() &&
            sameLetters(name.substr(0, wanted.size()), wanted) && ++refusedCount <= 8) {
            best.refused += best.refused.empty() ? "refused: " : ", ";
            best.refused += std::string(name) + " (not a version 001 to 255)";
        }
        if (version > best.version) {
            best.version = version;
            best.path = pathPrefix.substr(0, slash == std::string::npos ? 0 : slash + 1);
            best.path += name;
        }
    }
    if (refusedCount > 8) best.refused += " and " + std::to_string(refusedCount - 8) + " more";
    return best;
}

std::string describeFailedSearch(const FoundFile& search) {
    std::string text = "no " + search.pattern + " with nnn from 001 to 255 in " + search.directory;
    if (!search.refused.empty()) text += "; " + search.refused;
    return text;
}

}  // namespace tov::maint
