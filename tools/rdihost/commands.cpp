// The commands of the debugger stand-in, one table; each handler gets the words of its line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "debugger.h"
#include "execution.h"
#include "load_file.h"
#include "rdi/config_table.h"

namespace tov::rdihost {
namespace {

struct Command {
    const char* name;
    const char* usage;
    size_t minWords;  // words after the name
    bool needsTarget;
    bool (*run)(Debugger&, const Words&);
};

bool numbers(const Words& words, size_t from, std::vector<unsigned long>& out) {
    for (size_t i = from; i < words.size(); ++i) {
        unsigned long v = 0;
        if (!parseNumber(words[i], v)) {
            std::fprintf(stderr, "rdihost: not a number: %s\n", words[i].c_str());
            return false;
        }
        out.push_back(v);
    }
    return true;
}

bool report(const char* what, int rc) {
    if (rc == RDIError_NoError) return true;
    std::printf("%s failed: RDI error %d\n", what, rc);
    return false;
}

bool rdiInfo(Debugger& d, const Words& w);

// Without arguments the library and the session; with a code, that information request.
bool info(Debugger& d, const Words& w) {
    if (w.size() > 1) return d.open() && rdiInfo(d, w);
    std::printf("library:     %s\n", d.library().path().c_str());
    std::printf("description: %s\n", d.library().description());
    std::printf("version:     %d\n", d.library().version());
    std::printf("vector:      %s\n", d.rdi().rditypename);
    if (d.isOpen())
        std::printf("session:     open (%d)\n", d.openResult());
    else
        std::printf("session:     closed\n");
    return true;
}

void printTable(const ConfigTable& table) {
    for (int32_t i = 0; i < table.size; ++i) {
        const ConfigEntry& e = table.entries[i];
        if (e.tag && *e.tag) std::printf("%s=%s\n", e.tag, e.value ? e.value : "");
    }
}

bool config(Debugger& d, const Words&) {
    const int rc = d.library().config(&d.config());
    std::printf("config: %d\n", rc);
    if (rc != -1) printTable(d.config());
    return rc != -1;
}

bool openCommand(Debugger& d, const Words&) {
    return d.open();
}

bool closeCommand(Debugger& d, const Words&) {
    d.close();
    return true;
}

bool read(Debugger& d, const Words& w) {
    std::vector<unsigned long> n;
    if (!numbers(w, 1, n)) return false;
    std::vector<uint8_t> data(n[1]);
    unsigned count = static_cast<unsigned>(n[1]);
    if (!report("read",
                d.rdi().read(d.module(), static_cast<ARMword>(n[0]), data.data(), &count, 0))) {
        return false;
    }
    for (size_t at = 0; at < data.size(); at += 16) {
        std::printf("0x%08lX:", static_cast<unsigned long>(n[0] + at));
        for (size_t i = at; i < data.size() && i < at + 16; ++i) std::printf(" %02X", data[i]);
        std::printf("\n");
    }
    return true;
}

bool write(Debugger& d, const Words& w) {
    unsigned long address = 0;
    if (!parseNumber(w[1], address)) {
        std::fprintf(stderr, "rdihost: not an address: %s\n", w[1].c_str());
        return false;
    }
    const std::string& hex = w[2];
    std::vector<uint8_t> data;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned long byte = 0;
        if (i + 1 >= hex.size() || hex[i] == '-' || !parseNumber("0x" + hex.substr(i, 2), byte)) {
            std::fprintf(stderr, "rdihost: the data must be pairs of hexadecimal digits\n");
            return false;
        }
        data.push_back(static_cast<uint8_t>(byte));
    }
    unsigned count = static_cast<unsigned>(data.size());
    return report("write",
                  d.rdi().write(d.module(), data.data(), static_cast<ARMword>(address), &count, 0));
}

// Values of a register read: as many as the mask selects (at most 32).
bool registers(Debugger& d, const Words& w, bool coprocessor) {
    std::vector<unsigned long> n;
    if (!numbers(w, 1, n)) return false;
    ARMword values[32] = {};
    const auto mask = static_cast<uint32_t>(n[1]);
    const int rc = coprocessor
                       ? d.rdi().CPread(d.module(), static_cast<unsigned>(n[0]), mask, values)
                       : d.rdi().CPUread(d.module(), static_cast<unsigned>(n[0]), mask, values);
    if (!report(coprocessor ? "cpregs" : "regs", rc)) return false;
    int shown = 0;
    for (int bit = 0; bit < 32; ++bit) {
        // Mask bit 15 of a processor register request takes no value.
        if (!coprocessor && bit > 18) break;
        if (!(mask & (1u << bit)) || (!coprocessor && bit == 15)) continue;
        std::printf("%s0x%08lX", shown ? " " : "", static_cast<unsigned long>(values[shown]));
        ++shown;
    }
    std::printf("\n");
    return true;
}

bool regs(Debugger& d, const Words& w) {
    return registers(d, w, false);
}
bool cpregs(Debugger& d, const Words& w) {
    return registers(d, w, true);
}

bool load(Debugger& d, const Words& w) {
    unsigned long address = 0;
    if (w.size() > 2 && !parseNumber(w[2], address)) {
        std::fprintf(stderr, "rdihost: not an address: %s\n", w[2].c_str());
        return false;
    }
    return loadFile(d, w[1], static_cast<uint32_t>(address));
}

bool logCommand(Debugger& d, const Words& w) {
    if (w[1] != "on" && w[1] != "off") {
        std::fprintf(stderr, "rdihost: log on|off\n");
        return false;
    }
    ARMword on = w[1] == "on" ? 1 : 0;
    return report("log", d.rdi().info(d.module(), RDIInfo_SetLog, &on, nullptr));
}

// The target program's command line, its words joined by single spaces.
bool cmdline(Debugger& d, const Words& w) {
    std::string text;
    for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i];
    return report("cmdline", d.rdi().info(d.module(), RDISet_Cmdline,
                                          reinterpret_cast<ARMword*>(text.data()), nullptr));
}

// Any information request with one word argument: prints the result and the word after it.
bool rdiInfo(Debugger& d, const Words& w) {
    std::vector<unsigned long> n;
    if (!numbers(w, 1, n)) return false;
    ARMword word = n.size() > 1 ? static_cast<ARMword>(n[1]) : 0;
    const int rc = d.rdi().info(d.module(), static_cast<unsigned>(n[0]), &word, nullptr);
    std::printf("info 0x%lX: %d (0x%08lX)\n", n[0], rc, static_cast<unsigned long>(word));
    return rc == RDIError_NoError;
}

const Command kCommands[] = {
    {"info", "info [CODE [WORD]]   the library and the session, or an information request", 0,
     false, info},
    {"config", "config               the library's configuration dialog", 0, false, config},
    {"open", "open                 open the agent and the target", 0, true, openCommand},
    {"close", "close                close the target and the agent", 0, false, closeCommand},
    {"read", "read ADDR LEN        read target memory", 2, true, read},
    {"write", "write ADDR HEX       write bytes given as hexadecimal digits", 2, true, write},
    {"regs", "regs MODE MASK       processor registers of a mode", 2, true, regs},
    {"cpregs", "cpregs CP MASK       coprocessor registers", 2, true, cpregs},
    {"load", "load FILE [ADDR]     an S-record file, or a binary file at ADDR, as a download", 1,
     true, load},
    {"log", "log on|off           the library's call log", 1, true, logCommand},
    {"rdiinfo", "rdiinfo CODE [WORD]  an information request with one word argument", 1, true,
     rdiInfo},
    {"cmdline", "cmdline TEXT...      the command line the program is given", 0, true, cmdline},
    {"run", "run [--timeout S]    run the program until it stops (Ctrl-C stops it)", 0, true,
     runProgram},
    {"step", "step                 execute one instruction", 0, true, stepCommand},
    {"break", "break ADDR [--thumb] set a breakpoint", 1, true, breakCommand},
    {"watch", "watch ADDR [--read] [--write] [--size N]  set a watchpoint", 1, true,
     watchCommand},
    {"clear", "clear break|watch H  remove a point by its handle", 2, true, clearCommand},
    {"stop", "stop                 raise the stop request", 0, true, stopCommand},
};

Words split(const std::string& line) {
    Words words;
    size_t at = 0;
    while ((at = line.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
        size_t end = line.find_first_of(" \t\r\n", at);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

bool runCommand(Debugger& debugger, const std::string& line) {
    const Words words = split(line);
    if (words.empty() || words[0][0] == '#') return true;
    for (const Command& command : kCommands) {
        if (words[0] != command.name) continue;
        if (words.size() - 1 < command.minWords) {
            std::fprintf(stderr, "rdihost: usage: %s\n", command.usage);
            return false;
        }
        if (command.needsTarget && !debugger.open()) return false;
        return command.run(debugger, words);
    }
    std::fprintf(stderr, "rdihost: unknown command: %s\n", words[0].c_str());
    return false;
}

std::string commandHelp() {
    std::string text;
    for (const Command& command : kCommands) text += std::string("  ") + command.usage + "\n";
    return text;
}

}  // namespace tov::rdihost
