// The longer help of the commands whose options need more than their synopsis.
#include <array>
#include <string_view>
#include <utility>

#include "commands.h"

namespace tov::cli {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kNotes = {{
    {"load",
     "--offset N   add N to every address of the file (data past 4 GiB refuses the file)\n"
     "--base ADDR  where a raw binary goes (any file that is not S-records, Intel HEX or ELF)\n"
     "--format F   read the file as srec, ihex, elf or bin, whatever its content looks like\n"
     "an ELF with section headers loads its allocated sections with contents, as GDB does\n"
     "prints the data bytes, the address ranges and the time; a bad file names its place, and\n"
     "data given twice for the same bytes names both ranges; nothing is sent for either\n"},
    {"verify",
     "--offset N   add N to every address of the file\n"
     "--base ADDR  where a raw binary is compared (any file that is not S-records, Intel HEX\n"
     "             or ELF)\n"
     "--format F   read the file as srec, ihex, elf or bin\n"
     "a difference is shown with its address and the expected and found bytes (exit 1)\n"},
    {"dump",
     "COUNT bytes from ADDR (up to 4 GiB - 1) in 32-byte records; an existing FILE is replaced\n"
     "only once the whole dump has succeeded\n"},
    {"flash",
     "--type SETUP        the flash set-up (or $TOV_FLASH_TYPE); see tov flash-type\n"
     "--offset N          add N to every address of the file\n"
     "--base ADDR         where a raw binary goes (a file that is not S-records, Intel HEX\n"
     "                    or ELF)\n"
     "--format F          read the file as srec, ihex, elf or bin\n"
     "--flash-base ADDR   where the flash lies; data outside it (an ELF's RAM sections) is\n"
     "                    written as memory, not erased and programmed\n"
     "--flash-size N      the flash's size with --flash-base (default: one bank of chips)\n"
     "--erase auto        erase the sectors the file touches first (default)\n"
     "--erase chip        erase every chip the file touches first\n"
     "--erase none        program without erasing\n"
     "--sector-size N     bytes of one sector across the bus (default: 64 KiB per chip, times\n"
     "                    the chips side by side)\n"
     "--skip-unchanged    read each touched sector first and leave equal ones alone\n"
     "--verify            compare the flash with the file afterwards\n"
     "--dry-run           print the sectors to erase and the bytes to program, touch nothing\n"
     "--erase, --sector-size, --skip-unchanged, --flash-base and --dry-run work with external\n"
     "flash set-ups\n"},
    {"erase",
     "--type SETUP   the flash set-up (or $TOV_FLASH_TYPE); see tov flash-type\n"
     "--select N     on-chip flash: the blocks to erase (bit i: block i)\n"},
    {"watch",
     "--size 1|2|4      watch accesses of this many bytes at ADDR (default 4)\n"
     "--mask M          an address-mask watch: M goes to the probe instead of a size\n"
     "--read, --write   watch reads or writes only (default: both)\n"},
    {"autoprog",
     "TYPE               the target type (13 is refused)\n"
     "--paged            the program file holds paged CPU addresses\n"
     "--program FILE     the program image, an S-record file of up to 256 KiB\n"
     "--second FILE      the second image, up to 4 KiB\n"
     "--entry W1,W2,W3   one init entry of three words; repeat it for more\n"
     "--b N .. --h N     values stored for the probe as given: b, c and d up to 0xFFFF, e to h\n"
     "                   up to 0xFF (default 0)\n"
     "both files are read before anything is sent; the probe model must hold the job area in its\n"
     "flash\n"},
    {"help",
     "without COMMAND: the options and every command; tov COMMAND --help shows the same as\n"
     "tov help COMMAND\n"},
    {"gdbserver",
     "--listen [ADDR:]PORT    where GDB connects (default 127.0.0.1:3333; a bare port is on\n"
     "                        127.0.0.1, another address draws a warning)\n"
     "--once                  end when the first client ends\n"
     "--console gdb|terminal  where the program's console output goes (default gdb)\n"
     "--semihosting-root DIR  keep the program's files inside DIR\n"
     "--semihosting-system    let the program run host commands (refused by default;\n"
     "                        --no-semihosting-system is accepted)\n"
     "--detach-halt           keep the target halted when GDB detaches (default: it runs on)\n"
     "--heap BASE,LIMIT,STACKBASE,STACKLIMIT  the program's heap info answer (0: the\n"
     "                        program's own choice; default 0,0,0xFFE00000,0: the heap from\n"
     "                        the program's end, the stack below 0xFFE00000)\n"
     "--flash-base ADDR       the flash set-up's bank starts at ADDR: GDB's memory map shows\n"
     "                        it as flash and its load erases and programs it\n"
     "--flash-size N          bytes of flash at ADDR (default: one bank of the set-up)\n"
     "--type SETUP            the external flash set-up (or $TOV_FLASH_TYPE), as for tov flash\n"
     "--erase, --sector-size, --skip-unchanged, --verify  as for tov flash\n"},
    {"update",
     "--mode 0   program what is outdated (default); 1 the firmware always; 2 the logic always;\n"
     "           3 both always\n"},
}};

}  // namespace

std::string_view commandNotes(std::string_view name) {
    for (const auto& [command, notes] : kNotes) {
        if (command == name) return notes;
    }
    return {};
}

}  // namespace tov::cli
