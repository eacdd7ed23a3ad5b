// RDI_OpenAgent, RDI_CloseAgent, RDI_Open and RDI_Close: the life of the debug session.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "link/session.h"
#include "rdi/config_table.h"
#include "rdi/procedures.h"

namespace tov::rdi {
namespace {

constexpr uint32_t kProbePort = 2001;
constexpr uint16_t kStateValues = 10;
constexpr size_t kByteOrderWord = 6;
constexpr RegisterDescriptor kSemihostingVector = {600, 8101};
// The longest folder name the host takes (PATH_MAX less its NUL).
constexpr size_t kRootLimit = 4095;

// A configured text that does not fit its field is refused, naming the key and its limit.
bool fits(RdiSession& s, const char* key, const char* value, size_t limit) {
    if (!value || std::strlen(value) <= limit) return true;
    s.log("### Error: %s is longer than %zu characters\n", key, limit);
    return false;
}

// The semihosting keys: the folder host files are confined to, whether host commands run, and
// the heap info answer. A bad heap text refuses the open; a root that cannot be used leaves
// every host file operation refused, and says why.
bool configureSemihosting(RdiSession& s, RDI_ConfigPointer config) {
    const char* heapText = configLookup(config, "SEMIHOSTINGHEAP");
    std::optional<semihost::HeapInfo> heap;
    if (heapText) {
        std::string problem;
        heap = semihost::parseHeapInfo(heapText, problem);
        if (!heap) {
            s.log("### Error: SEMIHOSTINGHEAP: %s\n", problem.c_str());
            return false;
        }
    }
    const char* root = configLookup(config, "SEMIHOSTINGROOT");
    if (!fits(s, "SEMIHOSTINGROOT", root, kRootLimit)) return false;
    semihost::Service& service = s.semihosting();
    service.setHeap(heap);
    service.setSystemAllowed(configInteger(config, "SEMIHOSTINGSYSTEM", 1) != 0);
    const std::string problem = service.setFileRoot(root ? root : "");
    if (!problem.empty()) s.log("### Error: SEMIHOSTINGROOT: %s\n", problem.c_str());
    return true;
}

// Opens the channel the configuration names and brings the target into a known state.
int32_t connectAndStart(RdiSession& s, long port, long speed, long startup, const char* host,
                        unsigned type) {
    files::Connection& c = s.connection();
    c.files().reset();
    int32_t rc;
    if (port >= 1 && port <= 4) {
        char name[8];
        std::snprintf(name, sizeof name, "COM%ld", port);
        rc = link::connectByName(c.link(), name, static_cast<uint32_t>(speed));
    } else {
        rc = link::connectByName(c.link(), host ? host : "", kProbePort);
    }
    if (rc != 0) return rc;
    if (!(type & RDIOpen_NoStartup)) rc = startup != 0 ? c.target().halt() : c.target().reset(0);
    if (rc != 0) return rc;
    uint16_t state = 0;
    int32_t error = 0;
    uint32_t value = 0;
    uint16_t count = kStateValues;
    uint32_t values[kStateValues] = {};
    rc = c.target().state(state, error, value, count, values);
    if (rc == 0) s.bigEndian = count > kByteOrderWord && values[kByteOrderWord] != 0;
    return rc;
}

// The end of both opens: the mapped error, or on success the byte-sex result, and the exit line.
int finishOpen(RdiSession& s, int32_t rc, unsigned type) {
    const int result = rc == 0 ? s.settleByteSex(type) : s.mapError(rc);
    s.traceExitValue(rc, result);
    return result;
}

}  // namespace

int openAgent(RDI_AgentHandle* agent, unsigned type, RDI_ConfigPointer config,
              const RDI_HostosInterface* hostif, RDI_DbgState*) {
    return guarded([&]() -> int {
        RdiSession& s = session();
        if (hostif) s.setHost(hostif);
        s.trace("RDI_OpenAgent(0x%08lX)", static_cast<unsigned long>(type));
        if (type & RDIOpen_Warm) {
            s.trace(" => IGNORED\n");
            return RDIError_NoError;
        }
        const char* path = configLookup(config, "COMMANDPATH");
        const char* host = configLookup(config, "ETHERNETTARGET");
        const long port = configInteger(config, "SERIALPORT", 1);
        const long speed = configInteger(config, "SERIALLINESPEED", 9600);
        const long startup = configInteger(config, "TOVSTARTUP", 0);
        if (!fits(s, "COMMANDPATH", path, RdiSession::kCommandPathLimit) ||
            !fits(s, "ETHERNETTARGET", host, RdiSession::kNetworkTargetLimit) ||
            !configureSemihosting(s, config)) {
            s.trace(" => FAILED (configuration)\n");
            return RDIError_UnableToInitialise;
        }
        RDI_ModuleRecord& m = s.module();
        std::snprintf(m.commandPath, sizeof m.commandPath, "%s", path ? path : "");

        s.setHost(hostif);
        s.setOpen(true);
        if (agent) *agent = &s.agent();
        std::lock_guard<std::mutex> hold(s.lock());
        const int32_t rc = connectAndStart(s, port, speed, startup, host, type);
        return finishOpen(s, rc, type);
    });
}

int closeAgent(RDI_AgentHandle) {
    return withSession([](RdiSession& s) {
        // What the program wrote reaches its files, and no descriptor outlives the session.
        s.semihosting().closeFiles();
        s.connection().link().close();
        s.trace("RDI_CloseAgent()\n");
        s.setOpen(false);
        return RDIError_NoError;
    });
}

int open(RDI_ModuleHandle, unsigned type, RDI_ConfigPointer, const RDI_HostosInterface*,
         RDI_DbgState*) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_Open(0x%08lX)", static_cast<unsigned long>(type));
        RDI_ModuleRecord& m = s.module();
        if (type & RDIOpen_Warm) {
            s.endDownload();
        } else {
            m.connection = &s.connection();
            m.downloadActive = false;
        }
        target::TargetLink& target = s.connection().target();
        const int32_t rc = target.info(m.info);
        if (rc == 0) {
            const int32_t vector =
                s.semihostingState == 1 ? static_cast<int32_t>(s.semihostingVector) : 0;
            s.mapError(target.registerSet(1, &kSemihostingVector, &vector));
        }
        return finishOpen(s, rc, type);
    });
}

int close(RDI_ModuleHandle) {
    return guarded([] {
        RdiSession& s = session();
        if (!s.isOpen()) return RDIError_NotInitialised;
        {
            std::lock_guard<std::mutex> hold(s.lock());
            s.semihosting().closeFiles();
        }
        s.trace("RDI_Close()\n");
        return RDIError_NoError;
    });
}

}  // namespace tov::rdi
