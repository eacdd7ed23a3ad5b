/* A debugger written in C against libtovrdi.so, with its own declarations of the records it
 * shares with the library (as a debugger has them, not the library's header). Twice in one
 * process it loads the library, opens an agent on the simulator over UDP, reads the module
 * description, closes the agent and unloads the library, and checks what the process maps:
 * no Qt while the dialog was never opened, and no trace of the library after its unload, so
 * that the second load gets a fresh library (version 150 again).
 * usage: rdi_client LIBRARY SIMULATOR-ADDRESS */
#include <ctype.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Table;
struct Entry {
    char* tag;
    char* value;
    struct Table* child;
};
struct Table {
    int32_t size;
    struct Entry* entries;
    struct Table* parent;
};
struct ModuleDesc {
    char type[8];
    char name[8];
    const void* vector;
    void* handle;
};
struct Host {
    void (*dbgprint)(void* arg, const char* format, va_list ap);
    void* dbgpause;
    void* dbgarg;
    void* writec;
    void* readc;
    void* write;
    void* gets;
    void* hostosarg;
    void* reset;
    void* resetarg;
};
struct Procedures {
    char name[12];
    int (*openagent)(void** agent, unsigned type, struct Table* config, const struct Host* host,
                     void* state);
    int (*closeagent)(void* agent);
    void* open;
    void* close;
    void* memoryAndPoints[10];
    void* execute;
    int (*step)(void* agent, void** module, int stopOthers, unsigned count, uintptr_t* point);
    int (*info)(void* handle, unsigned type, uint32_t* arg1, uint32_t* arg2);
    void* unused[9];
};

static int failures = 0;

#define CHECK(condition, ...)                                             \
    do {                                                                  \
        if (!(condition)) {                                               \
            fprintf(stderr, "rdi_client:%d: %s: ", __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                 \
            fputc('\n', stderr);                                          \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

static void print(void* arg, const char* format, va_list ap) {
    (void)arg;
    vfprintf(stderr, format, ap);
}

/* The configuration object's slot choice, as the debugger computes it. */
static void put(struct Table* table, const char* tag, const char* value) {
    uint32_t hash = 0;
    for (const char* c = tag; *c; ++c) hash = hash * 29 + (uint32_t)toupper((unsigned char)*c);
    hash *= 29;
    uint32_t slot = hash & (uint32_t)(table->size - 1);
    while (table->entries[slot].tag) slot = (slot + 8) & (uint32_t)(table->size - 1);
    table->entries[slot].tag = strdup(tag);
    table->entries[slot].value = strdup(value);
}

/* Whether a line of /proc/self/maps names a file containing `text`. */
static int mapped(const char* text) {
    FILE* maps = fopen("/proc/self/maps", "r");
    char line[4096];
    int found = 0;
    while (maps && fgets(line, sizeof line, maps)) {
        if (strstr(line, text)) found = 1;
    }
    if (maps) fclose(maps);
    return found;
}

static void session(const char* library, const char* address, int round) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    CHECK(handle != NULL, "%s", dlerror());
    if (!handle) return;
    int (*getVersion)(void) = (int (*)(void))dlsym(handle, "WinRDI_GetVersion");
    int (*setVersion)(int) = (int (*)(int))dlsym(handle, "WinRDI_SetVersion");
    const struct Procedures* (*vector)(void) =
        (const struct Procedures* (*)(void))dlsym(handle, "WinRDI_GetRDIProcVec");
    CHECK(getVersion && setVersion && vector, "entry points missing");
    if (!getVersion || !setVersion || !vector) return;
    /* A fresh library: what the last round negotiated is gone. */
    CHECK(getVersion() == 150, "round %d: version %d", round, getVersion());
    setVersion(151);
    const struct Procedures* rdi = vector();

    struct Entry entries[16];
    memset(entries, 0, sizeof entries);
    struct Table config = {16, entries, NULL};
    put(&config, "SERIALPORT", "0");
    put(&config, "EthernetTarget", address);
    struct Host host;
    memset(&host, 0, sizeof host);
    host.dbgprint = print;
    void* agent = NULL;
    int rc = rdi->openagent(&agent, 0, &config, &host, NULL);
    CHECK(rc == 0, "round %d: open agent %d", round, rc);

    struct ModuleDesc description;
    memset(&description, 0xAA, sizeof description);
    uint32_t count = 1;
    rc = rdi->info(agent, 0x1C, &count, (uint32_t*)&description);
    CHECK(rc == 0 && count == 1, "modules: %d, count %u", rc, count);
    CHECK(strcmp(description.type, "ARM") == 0, "type");
    CHECK(strcmp(description.name, "ARM1") == 0, "name");
    CHECK(description.vector == NULL, "vector %p", description.vector);
    void* stepped = NULL;
    uintptr_t point = 0;
    rdi->step(agent, &stepped, 0, 1, &point);
    CHECK(stepped != NULL && description.handle == stepped, "handle %p, step gives %p",
          description.handle, stepped);

    CHECK(mapped("libtovrdi.so"), "the loaded library is not in /proc/self/maps");
    CHECK(!mapped("libQt"), "a Qt library is mapped");
    CHECK(!mapped("libtovrdi_qt"), "the dialog module is mapped");
    CHECK(rdi->closeagent(agent) == 0, "close agent");
    CHECK(dlclose(handle) == 0, "%s", dlerror());
    CHECK(!mapped("libtovrdi"), "round %d: the library stays mapped after dlclose", round);
    for (int i = 0; i < 16; ++i) {
        free(entries[i].tag);
        free(entries[i].value);
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: rdi_client LIBRARY SIMULATOR-ADDRESS\n");
        return 2;
    }
    for (int round = 1; round <= 2; ++round) session(argv[1], argv[2], round);
    if (failures == 0) printf("rdi_client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
