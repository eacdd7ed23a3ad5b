// Export and import of setup text files from the command line.
#include "setup/batch_mode.h"

#include <cstdio>
#include <filesystem>
#include <set>

#include "include/tovlink.h"
#include "setup/connection_parameters.h"
#include "setup/doc_archive.h"
#include "setup/setup_transfer.h"
#include "setup/text_file.h"

namespace tov::setup {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

bool isQtOption(const std::string& name) {
    static const std::set<std::string> kNames = {"platform",      "platformpluginpath",
                                                 "platformtheme", "plugin",
                                                 "qmljsdebugger", "qwindowgeometry",
                                                 "geometry",      "qwindowicon",
                                                 "icon",          "qwindowtitle",
                                                 "title",         "reverse",
                                                 "session",       "style",
                                                 "stylesheet",    "widgetcount",
                                                 "display",       "name",
                                                 "nograb",        "dograb",
                                                 "sync",          "visual",
                                                 "ncols",         "cmap",
                                                 "testability"};
    return kNames.count(name) != 0;
}

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
        "                                            \"COM1 115200\"; default: the setup's own)\n"
        "       tovsetup --version                   print the version\n"
        "exit codes: 0 done, 1 failed, 2 bad command line\n";
    // A bad command line is one line and a hint, never the whole usage on top of a script's
    // own output.
    const auto usageError = [](const std::string& why) {
        std::fprintf(stderr, "tovsetup: %s\ntovsetup: see 'tovsetup --help' for the options\n",
                     why.c_str());
        return kUsageError;
    };
    if (args.empty()) return std::nullopt;
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        std::fputs(kUsage, stdout);
        return kOk;
    }
    if (first == "--version") {
        std::printf("tovsetup %d.%d.%d\n", TOVLINK_VERSION_MAJOR, TOVLINK_VERSION_MINOR,
                    TOVLINK_VERSION_PATCH);
        return kOk;
    }
    if (first == "--transmit") {
        if (args.size() == 2) return transmitStoredSetup(args[1], nullptr);
        if (args.size() == 4 && args[2] == "--port") return transmitStoredSetup(args[1], &args[3]);
        return usageError("--transmit takes FILE.tov and an optional --port TEXT");
    }
    if (first == "--export" || first == "--import") {
        if (args.size() != 3) {
            return usageError(first + (first == "--export" ? " takes FILE.tov TEXTFILE"
                                                           : " takes TEXTFILE FILE.tov"));
        }
        return first == "--export" ? exportSetup(args[1], args[2]) : importSetup(args[1], args[2]);
    }
    // Qt's own options (-platform, --style=..., ...) are left to Qt; any other long option is a
    // typo, not a file name.
    for (const std::string& arg : args) {
        if (arg.rfind("--", 0) != 0) continue;
        const std::string name = arg.substr(2, arg.find('=') - 2);
        if (!isQtOption(name)) return usageError("unknown option " + arg);
    }
    return std::nullopt;
}

}  // namespace tov::setup
