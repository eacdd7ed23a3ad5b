// The global options, the dispatch table and the help made from it, and the words a command is
// handed.
#include "command_line.h"

#include <array>
#include <cstdio>

#include "output.h"
#include "progress.h"
#include "sim_launcher.h"

namespace tov::cli {

namespace {

int runHelp(const Invocation& call);

// The one list of commands: dispatch and help both come from here.
constexpr std::array kCommands = {
    Command{"help", "[COMMAND]", "show this text, or the arguments and options of one command",
            false, runHelp},
    Command{"ping", "", "open the link, negotiate the line rate and report it", true, runPing},
    Command{"connect", "", "open the link and start the probe's firmware", true, runConnect},
    Command{"errors", "", "list every error code with its text", false, runErrors},
    Command{"raw", "[--wait MS] HEX...",
            "send one request message (hex bytes) and print the answer in hex", true, runRaw},
    Command{"info", "", "show the firmware, CPU type and stored setup of the probe", true, runInfo},
    Command{"state", "", "show the target state with its values", true, runState},
    Command{"halt", "", "halt the target", true, runHalt},
    Command{"go", "", "start (run) the target", true, runGo},
    Command{"reset", "[VALUE]", "reset the target (VALUE goes to the firmware, default 0)", true,
            runReset},
    Command{"step", "[FIRST SECOND THIRD]", "step the target (default 0 0 1), print the result",
            true, runStep},
    Command{"regs", "GROUP:NUMBER...", "read registers and print their values", true, runRegs},
    Command{"setreg", "GROUP:NUMBER=VALUE...", "write registers", true, runSetreg},
    Command{"read", "ADDR LEN [--access N]", "read target memory, print a hex dump", true, runRead},
    Command{"write", "ADDR HEX... [--access N]", "write hex bytes to target memory", true,
            runWrite},
    Command{"get8", "ADDR", "read one byte of target memory", true, runGet8},
    Command{"get16", "ADDR", "read one 16-bit word of target memory", true, runGet16},
    Command{"get32", "ADDR", "read one 32-bit word of target memory", true, runGet32},
    Command{"set8", "ADDR VALUE", "write one byte, checked by the probe's read-back", true,
            runSet8},
    Command{"set16", "ADDR VALUE", "write one 16-bit word, checked by read-back", true, runSet16},
    Command{"set32", "ADDR VALUE", "write one 32-bit word, checked by read-back", true, runSet32},
    Command{"break", "ADDR [KIND]", "add a breakpoint (default kind 1), print its id", true,
            runBreak},
    Command{"breakdel", "ID", "delete a breakpoint", true, runBreakdel},
    Command{"watch", "ADDR [--size 1|2|4] [--mask M] [--read] [--write]",
            "add a watchpoint (default: 4-byte reads and writes), print its id", true, runWatch},
    Command{"watchdel", "ID", "delete a watchpoint", true, runWatchdel},
    Command{"cmd", "TEXT...", "pass a command to the probe's interpreter, print the reply", true,
            runCmd},
    Command{"term", "[--interactive]",
            "print pending terminal text; --interactive: a live terminal, Ctrl-] ends", true,
            runTerm},
    Command{"chan", "read CHANNEL COUNT | write CHANNEL HEX...",
            "read bytes from or write bytes to a communication channel", true, runChan},
    Command{"load", "FILE [--offset N] [--base ADDR]",
            "load an S-record, ELF, Intel HEX or raw binary file into target memory (each "
            "address plus N)",
            true, runLoad},
    Command{"verify", "FILE [--offset N] [--base ADDR]",
            "compare target memory with an S-record, ELF, Intel HEX or raw binary file", true,
            runVerify},
    Command{"dump", "ADDR COUNT FILE", "write COUNT bytes of target memory to an S-record file",
            true, runDump},
    Command{"flash-type", "[TYPE CHIPSIZE BUSBITS WORKSPACE | SETUP]",
            "check a flash set-up, describe it and print its --type text", false, runFlashType},
    Command{"erase", "ADDR --type SETUP [--select N]",
            "erase the flash sector at ADDR (on-chip: the blocks N selects)", true, runEraseSector},
    Command{"erase-chip", "ADDR --type SETUP [--select N]",
            "erase the whole flash chip at ADDR (on-chip: the whole array)", true, runEraseChip},
    Command{"flash", "FILE [--offset N] [--base ADDR] --type SETUP",
            "program an S-record, ELF, Intel HEX or raw binary file into flash", true, runFlash},
    Command{
        "gdbserver",
        "[--listen [ADDR:]PORT] [--once] [--console gdb|terminal] [--semihosting-io server|gdb] "
        "[--semihosting-root DIR] [--semihosting-system] [--detach-halt] [--flash-base ADDR "
        "--type SETUP ...]",
        "serve GDB clients over the remote protocol (default 127.0.0.1:3333); the program's "
        "semihosting files stay inside DIR; GDB's load programs the flash at ADDR",
        true, runGdbserver},
    Command{"probe", "", "show the probe's model, serial, versions, family and network record",
            true, runProbe},
    Command{"update", "DIR FAMILY [--mode 0-3]",
            "update the probe's firmware and logic from the newest files in DIR", true, runUpdate},
    Command{"netconfig", "IP MASK GATEWAY",
            "write the probe's IP address, subnet mask and gateway (\"\" or - for none)", true,
            runNetconfig},
    Command{
        "autoprog",
        "TYPE [--paged] [--program FILE] [--second FILE] [--entry W1,W2,W3]... [--b N]..[--h N]",
        "store an automatic programming job for a paged 16-bit target in the probe", true,
        runAutoprog},
    Command{"autoprog-off", "", "remove the automatic programming job from the probe", true,
            runAutoprogOff},
    Command{"autoprog-show", "[--images]",
            "show the automatic programming job stored in the probe (--images: its image bytes)",
            true, runAutoprogShow},
    Command{"setup-show", "", "show the setup (working mode and init list) stored in the probe",
            true, runSetupShow},
};

constexpr size_t kSynopsisWidth = 24;

int runHelp(const Invocation& call) {
    if (call.args.empty()) {
        printUsage(stdout);
        return kExitOk;
    }
    if (call.args.size() > 1) return reportUsageError("expected help [COMMAND]", "help");
    const Command* asked = findCommand(call.args[0]);
    if (asked == nullptr) return reportUsageError("unknown command " + call.args[0]);
    printCommandHelp(*asked, stdout);
    return kExitOk;
}

}  // namespace

const Command* findCommand(std::string_view name) {
    for (const Command& command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

std::string parseGlobalOptions(int argc, char** argv, GlobalOptions& options) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!arg.starts_with("-")) break;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--progress") {
            setProgressMode(ProgressMode::kAlways);
        } else if (arg == "--no-progress") {
            setProgressMode(ProgressMode::kNever);
        } else if (arg == "--port") {
            if (i + 1 == argc) return "--port needs the port text, for example \"COM1 115200\"";
            options.port = argv[++i];
        } else if (arg.starts_with("--port=")) {
            options.port = std::string(arg.substr(7));
        } else if (arg == "--sim") {
            options.sim = true;
        } else if (options.sim && simOptionKind(arg) != SimOptionKind::Unknown) {
            options.simOptions.emplace_back(arg);
            if (simOptionKind(arg) == SimOptionKind::Valued) {
                if (i + 1 == argc) return "simulator option " + std::string(arg) + " needs a value";
                options.simOptions.emplace_back(argv[++i]);
            }
        } else {
            return "unknown option " + std::string(arg);
        }
    }
    if (i < argc) {
        options.command = argv[i++];
        options.args.assign(argv + i, argv + argc);
    }
    if (options.help) {
        // tov --help COMMAND is tov help COMMAND.
        if (!options.command.empty()) options.args.insert(options.args.begin(), options.command);
        options.command = "help";
    }
    return {};
}

bool takeCommandWords(const Command& command, GlobalOptions& options) {
    // "--help" among a command's words asks for its help, and the progress options may follow
    // the command as well. The words of cmd are text for the probe: there only a lone --help
    // counts.
    if (options.command == "cmd") {
        if (options.args.size() == 1 && (options.args[0] == "--help" || options.args[0] == "-h")) {
            printCommandHelp(command, stdout);
            return true;
        }
    } else {
        std::vector<std::string> words;
        for (const std::string& arg : options.args) {
            if (arg == "--help" || arg == "-h") {
                printCommandHelp(command, stdout);
                return true;
            }
            if (arg == "--progress" || arg == "--no-progress") {
                setProgressMode(arg == "--progress" ? ProgressMode::kAlways : ProgressMode::kNever);
            } else {
                words.push_back(arg);
            }
        }
        options.args = std::move(words);
    }
    return false;
}

void printCommandHelp(const Command& command, std::FILE* out) {
    std::fprintf(out, "usage: tov [--port TEXT] [--sim [SIMOPTIONS...]] %.*s%s%.*s\n\n%.*s\n",
                 static_cast<int>(command.name.size()), command.name.data(),
                 command.synopsis.empty() ? "" : " ", static_cast<int>(command.synopsis.size()),
                 command.synopsis.data(), static_cast<int>(command.summary.size()),
                 command.summary.data());
    const std::string_view notes = commandNotes(command.name);
    if (!notes.empty()) {
        std::fprintf(out, "\n%.*s", static_cast<int>(notes.size()), notes.data());
    }
    if (command.needsPort) {
        std::fputs(
            "\nthe probe is reached through --port TEXT, $TOV_PORT or --sim (see tov --help)\n",
            out);
    }
}

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: tov [--port TEXT] [--sim [SIMOPTIONS...]] COMMAND [ARGS]\n"
        "       tov help COMMAND | tov COMMAND --help | tov --version\n"
        "\n"
        "options:\n"
        "  --port TEXT   how to reach the probe: \"COM1 115200\" (COMn is $TOV_COMn, else\n"
        "                /dev/ttyS(n-1)), \"/dev/ttyUSB0 57600\" or \"NETWORK 10.1.2.3 1\";\n"
        "                default $TOV_PORT\n"
        "  --sim         start tovsim on a private pty for this run and use it; simulator\n"
        "                options may follow: --udp ADDR, --model B|BC|A|X, --family N,\n"
        "                --cpu CODE, --rate BAUD, --flash-file FILE, --trace FILE,\n"
        "                --faults SPEC, --loader, --line-timing, --core model|arm1136\n"
        "  --progress    draw the progress bar of long commands even when stderr is no\n"
        "                terminal; --no-progress: never draw it\n"
        "  --help        show this text; tov help COMMAND shows one command\n"
        "  --version     show the versions of tov and of the library\n"
        "\n"
        "numbers are decimal or 0x hex; HEX is bytes as pairs of hex digits (\"DEADBEEF\")\n"
        "\n"
        "the flash commands carry the flash set-up, since every tov run connects anew and a\n"
        "connection forgets it: SETUP is TYPE,CHIPSIZE,BUSBITS,WORKSPACE, for example\n"
        "--type 2,0x80000,32,0x100000 (type 2, 512-KiB chips on a 32-bit bus, workspace\n"
        "at 0x100000); $TOV_FLASH_TYPE holds a default; flash-type explains a set-up\n"
        "\n"
        "load, verify, dump, flash and update show a progress bar while stderr is a terminal\n"
        "\n"
        "update takes FAMILY as the family index 0..35 or its name (CPU32, MPC8xx/MPC5xx,\n"
        "ColdFire, HC12, M-CORE, ARM, TriCore, PPC6xx/PPC7xx, PPC400, MPC7450, MIPS32,\n"
        "XScale); --mode 0 (default) programs only what is outdated, 1 the firmware always,\n"
        "2 the logic always, 3 both always; probe, update and netconfig talk to the probe's\n"
        "loader, and the next target command starts the firmware again\n"
        "\n"
        "commands:\n",
        out);
    for (const Command& command : kCommands) {
        std::string head(command.name);
        if (!command.synopsis.empty()) head += " " + std::string(command.synopsis);
        // A long synopsis gets a line of its own, the summary goes below it.
        if (head.size() > kSynopsisWidth) {
            std::fprintf(out, "  %s\n", head.c_str());
            head.clear();
        }
        std::fprintf(out, "  %-*s %.*s\n", static_cast<int>(kSynopsisWidth), head.c_str(),
                     static_cast<int>(command.summary.size()), command.summary.data());
    }
    std::fputs(
        "\n"
        "exit status: 0 done, 1 the probe or the link failed, 2 bad command line\n",
        out);
}

}  // namespace tov::cli
