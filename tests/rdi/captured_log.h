// A host interface whose debug print collects the library's log lines in one text.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include "include/tovrdi.h"

namespace tov::test {

struct CapturedLog {
    CapturedLog() { host.dbgprint = print; }
    static void print(RDI_Hif_DbgArg*, const char* format, va_list ap) {
        char line[512];
        std::vsnprintf(line, sizeof line, format, ap);
        text() += line;
    }
    // One text for the process: the library keeps only the function, not an object.
    static std::string& text() {
        static std::string collected;
        return collected;
    }
    RDI_HostosInterface host = {};
};

}  // namespace tov::test
