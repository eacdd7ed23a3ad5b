// The command lines of a download command file, read the way the probe's interpreter gets them.
#include "rdi/command_file.h"

namespace tov::rdi {
namespace {

constexpr int kLinePiece = 128;  // 127 characters and the terminator

bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

void forEachCommand(FILE* file, const std::function<void(const char* command)>& command) {
    char line[kLinePiece];
    while (std::fgets(line, sizeof line, file)) {
        char* end = line;
        while (static_cast<unsigned char>(*end) >= 0x20 &&
               static_cast<unsigned char>(*end) < 0x80) {
            ++end;
        }
        *end = '\0';
        if (isAsciiAlnum(line[0])) command(line);
    }
}

}  // namespace tov::rdi
