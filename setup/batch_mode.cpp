// Export and import of setup text files from the command line.
#include "setup/batch_mode.h"

#include <cstdio>
#include <filesystem>

#include "setup/connection_parameters.h"
#include "setup/doc_archive.h"
#include "setup/setup_transfer.h"
#include "setup/text_file.h"

namespace tov::setup {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;

int fail(const std::string& message) {
    std::fprintf(stderr, "tovsetup: %s\n", message.c_str());
    return kFailed;
}

int exportSetup(const std::string& setupPath, const std::string& textPath) {
    if (std::string why = setupFileProblem(setupPath); !why.empty()) return fail(why);
    CTovDoc doc;
    if (std::string message = openDocumentFile(setupPath, doc); !message.empty()) {
        return fail(setupPath + ": " + message);
    }
    if (std::string message = exportTextFile(textPath, doc.mode, doc.initList); !message.empty()) {
        return fail(message);
    }
    std::fprintf(stderr, "tovsetup: Setup stored in text file\n");
    return kOk;
}

int importSetup(const std::string& textPath, const std::string& setupPath) {
    for (const std::string* path : {&textPath, &setupPath}) {
        if (std::string why = setupFileProblem(*path); !why.empty()) return fail(why);
    }
    CTovDoc doc;
    if (std::filesystem::exists(setupPath)) {
        if (std::string message = openDocumentFile(setupPath, doc); !message.empty()) {
            return fail(setupPath + ": " + message);
        }
    }
    ImportOutcome outcome;
    // A partly read text is not stored: the setup file stays as it was.
    if (std::string message = importTextFile(textPath, doc.mode, doc.initList, outcome);
        !message.empty()) {
        return fail(message);
    }
    doc.textFileName = textPath;
    if (std::string message = saveDocumentFile(setupPath, doc); !message.empty()) {
        return fail(setupPath + ": " + message);
    }
    std::fprintf(stderr, "tovsetup: Setup read from text file\n");
    return kOk;
}

// Writes a stored setup into the probe, with the window's status texts on standard error.
int transmitStoredSetup(const std::string& setupPath, const std::string* port) {
    CTovDoc doc;
    if (std::string message = openDocumentFile(setupPath, doc); !message.empty()) {
        return fail(setupPath + ": " + message);
    }
    if (std::string why = transferRefusal(doc.comm.baudIndex, doc.initList); !why.empty()) {
        return fail(why);
    }
    if (std::string why = modeRangeProblem(doc.mode); !why.empty()) return fail(why);
    doc.rebuildConnectionParameters();
    const std::string parameters = port ? *port : connectionParameters();
    const int32_t result =
        transmitSetup(doc.mode, doc.comm.baudIndex, doc.initList, parameters,
                      [](const char* text) { std::fprintf(stderr, "tovsetup: %s\n", text); });
    if (result != 0) return fail(kTransferFailed);
    return kOk;
}

}  // namespace

std::optional<int> runBatch(const std::vector<std::string>& args) {
    constexpr const char* kUsage =
        "usage: tovsetup [FILE.tov]                  edit a setup in the window\n"
        "       tovsetup --export FILE.tov TEXTFILE  write the text file of a setup\n"
        "       tovsetup --import TEXTFILE FILE.tov  read a text file into a setup\n"
        "       tovsetup --transmit FILE.tov [--port TEXT]\n"
        "                                            write a setup into the probe (TEXT as\n"
        "                                            \"COM1 115200\"; default: the setup's own)\n";
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return kOk;
    }
    if (!args.empty() && args[0] == "--transmit") {
        if (args.size() == 2) return transmitStoredSetup(args[1], nullptr);
        if (args.size() == 4 && args[2] == "--port") return transmitStoredSetup(args[1], &args[3]);
        std::fputs(kUsage, stderr);
        return kFailed;
    }
    if (args.empty() || (args[0] != "--export" && args[0] != "--import")) return std::nullopt;
    if (args.size() != 3) {
        std::fputs(kUsage, stderr);
        return kFailed;
    }
    return args[0] == "--export" ? exportSetup(args[1], args[2]) : importSetup(args[1], args[2]);
}

}  // namespace tov::setup
