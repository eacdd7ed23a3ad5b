// Opening and closing the library's agent and module, the host interface and the log.
#include "debugger.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "rdi/config_table.h"

namespace tov::rdihost {
namespace {

// Whether the program's console output ended a line, so that rdihost's own lines start on one.
std::atomic<bool> lineEnded{true};

void writeC(RDI_Hif_HostArg*, int c) {
    std::fputc(c, stdout);
    std::fflush(stdout);
    lineEnded = c == '\n';
}

int writeText(RDI_Hif_HostArg*, const char* buffer, int length) {
    const size_t written = std::fwrite(buffer, 1, static_cast<size_t>(length), stdout);
    std::fflush(stdout);
    if (written > 0) lineEnded = buffer[written - 1] == '\n';
    return length - static_cast<int>(written);
}

bool acceptable(int rc) {
    return rc == RDIError_NoError || rc == RDIError_LittleEndian || rc == RDIError_BigEndian;
}

}  // namespace

Debugger::Debugger(DebuggerOptions options) : options_(std::move(options)) {
    host_.dbgprint = &Debugger::debugPrint;
    host_.writec = writeC;
    host_.readc = readC;
    host_.write = writeText;
    host_.gets = getS;
    host_.hostosarg = this;
}

int Debugger::readC(RDI_Hif_HostArg* arg) {
    auto* self = static_cast<Debugger*>(arg);
    return self->input_.readChar(&self->stopRaised_);
}

char* Debugger::getS(RDI_Hif_HostArg* arg, char* buffer, int length) {
    auto* self = static_cast<Debugger*>(arg);
    if (length <= 0) return nullptr;
    std::fflush(stdout);
    const std::optional<std::string> text =
        self->input_.readText(static_cast<size_t>(length - 1), &self->stopRaised_);
    if (!text) return nullptr;
    std::memcpy(buffer, text->data(), text->size());
    buffer[text->size()] = '\0';
    return buffer;
}

void Debugger::endConsoleLine() {
    if (!lineEnded.exchange(true)) std::printf("\n");
}

void Debugger::raiseStop() {
    // The library's request first: a console read that gives up must find it raised, or the
    // program would take the empty read for the end of its input.
    ARMword unused = 0;
    if (agent_) rdi().info(module_, RDISignal_Stop, &unused, nullptr);
    stopRaised_ = true;
}

Debugger::~Debugger() {
    close();
    rdi::configClear(&config_);
    if (log_ && log_ != stderr) std::fclose(log_);
}

void Debugger::debugPrint(RDI_Hif_DbgArg* arg, const char* format, va_list ap) {
    FILE* out = static_cast<FILE*>(arg);
    std::vfprintf(out, format, ap);
    std::fflush(out);
}

bool Debugger::start() {
    log_ = stderr;
    if (!options_.logFile.empty()) {
        log_ = std::fopen(options_.logFile.c_str(), "a");
        if (!log_) {
            std::fprintf(stderr, "rdihost: cannot open log file %s: %s\n", options_.logFile.c_str(),
                         std::strerror(errno));
            return false;
        }
    }
    host_.dbgarg = log_;
    for (const std::string& setting : options_.config) {
        if (setting.find('=') == std::string::npos) {
            std::fprintf(stderr, "rdihost: --config wants KEY=VALUE, not %s\n", setting.c_str());
            return false;
        }
        if (!rdi::configUpdate(&config_, setting.c_str(), nullptr)) {
            std::fprintf(stderr, "rdihost: out of memory\n");
            return false;
        }
    }
    std::string error;
    if (!library_.load(options_.library, error)) {
        std::fprintf(stderr, "rdihost: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool Debugger::open() {
    if (agent_) return true;
    const unsigned type =
        (options_.byteSex << RDIOpen_ByteSexShift) | (options_.noStartup ? RDIOpen_NoStartup : 0);
    RDI_AgentHandle agent = nullptr;
    openResult_ = rdi().openagent(&agent, type, &config_, &host_, nullptr);
    std::printf("open agent: %d\n", openResult_);
    if (!acceptable(openResult_)) {
        // The agent exists even when the probe did not answer; end it so it can be tried again.
        if (agent) rdi().closeagent(agent);
        return false;
    }
    agent_ = agent;
    ARMword count = 1;
    RDI_ModuleDesc description = {};
    rdi().info(agent_, RDIInfo_Modules, &count, reinterpret_cast<ARMword*>(&description));
    module_ = description.handle;
    const int rc = rdi().open(module_, type, &config_, &host_, nullptr);
    std::printf("open: %d\n", rc);
    if (!acceptable(rc)) {
        close();
        return false;
    }
    return true;
}

void Debugger::close() {
    if (!agent_) return;
    rdi().close(module_);
    rdi().closeagent(agent_);
    agent_ = nullptr;
    module_ = nullptr;
}

}  // namespace tov::rdihost
