// The configuration object's hash table: slot choice, probing, growth, nested tags.
#include "rdi/config_table.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tov::rdi {
namespace {

constexpr int32_t kFirstSize = 16;
constexpr int32_t kGrowth = 4;
constexpr uint32_t kProbeStep = 8;

// The text a deleted slot's tag points to; such a slot is neither free nor a match.
const char kDeletedTag[] = "";

unsigned char upper(char c) {
    return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
}

// The stored tag equals the searched one without regard to case; the searched one may go on
// with a line end where the stored one ends.
bool tagMatches(const char* stored, const char* searched) {
    if (stored == kDeletedTag) return false;
    size_t i = 0;
    for (; stored[i] != '\0'; ++i) {
        if (upper(stored[i]) != upper(searched[i])) return false;
    }
    return searched[i] == '\0' || searched[i] == '\n';
}

char* copyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// The slot for `tag`: its own or the free one the probe stopped at, or nullptr when the probe
// came back to its first slot (the table is full along this chain) or has no slots.
ConfigEntry* probe(const ConfigTable* table, const char* tag) {
    if (table->size <= 0 || !table->entries) return nullptr;
    const uint32_t mask = static_cast<uint32_t>(table->size) - 1;
    const uint32_t first = tagHash(tag) & mask;
    uint32_t slot = first;
    do {
        ConfigEntry* entry = &table->entries[slot];
        if (!entry->tag || tagMatches(entry->tag, tag)) return entry;
        slot = (slot + kProbeStep) & mask;
    } while (slot != first);
    return nullptr;
}

// Four times the slots (16 when there were none), every live entry placed again.
bool grow(ConfigTable* table) {
    const int32_t oldSize = table->size > 0 ? table->size : 0;
    const int32_t newSize = oldSize > 0 ? oldSize * kGrowth : kFirstSize;
    auto* slots =
        static_cast<ConfigEntry*>(std::calloc(static_cast<size_t>(newSize), sizeof(ConfigEntry)));
    if (!slots) return false;
    ConfigEntry* old = table->entries;
    table->entries = slots;
    table->size = newSize;
    for (int32_t i = 0; i < oldSize; ++i) {
        ConfigEntry& entry = old[i];
        if (!entry.tag || entry.tag == kDeletedTag) continue;
        // Growing until the entry fits keeps every live entry, however the chains fall.
        ConfigEntry* place = probe(table, entry.tag);
        while (!place) {
            if (!grow(table)) return false;
            place = probe(table, entry.tag);
        }
        *place = entry;
    }
    std::free(old);
    return true;
}

// The entry for `tag` (its first `length` characters), created when missing.
ConfigEntry* obtainEntry(ConfigTable* table, const char* tag, size_t length) {
    std::string key(tag, length);
    ConfigEntry* entry = probe(table, key.c_str());
    while (!entry) {
        if (!grow(table)) return nullptr;
        entry = probe(table, key.c_str());
    }
    if (!entry->tag) {
        char* stored = copyText(key.c_str(), key.size());
        if (!stored) return nullptr;
        for (char* c = stored; *c; ++c) *c = static_cast<char>(upper(*c));
        entry->tag = stored;
        entry->value = nullptr;
        entry->child = nullptr;
    }
    return entry;
}

}  // namespace

uint32_t tagHash(const char* tag) {
    uint32_t h = 0;
    // A tag that goes on with a line end matches the stored tag without it, so it must also
    // hash like it.
    for (const char* c = tag; *c && *c != '\n'; ++c) h = h * 29 + upper(*c);
    return h * 29;
}

ConfigEntry* findEntry(const ConfigTable* table, const char* tag) {
    if (!table || !tag) return nullptr;
    ConfigEntry* entry = probe(table, tag);
    return entry && entry->tag ? entry : nullptr;
}

const char* configLookup(const ConfigTable* table, const char* tag) {
    for (; table; table = table->parent) {
        if (const ConfigEntry* entry = findEntry(table, tag))
            return entry->value ? entry->value : "";
    }
    return nullptr;
}

long configInteger(const ConfigTable* table, const char* tag, long fallback) {
    const char* value = configLookup(table, tag);
    return value ? std::strtol(value, nullptr, 0) : fallback;
}

bool configUpdate(ConfigTable* table, const char* tag, const char* value) {
    if (!table || !tag) return false;
    const char* colon = std::strchr(tag, ':');
    const char* equals = std::strchr(tag, '=');
    if (colon && (!equals || colon < equals)) {
        ConfigEntry* entry = obtainEntry(table, tag, static_cast<size_t>(colon - tag));
        if (!entry) return false;
        if (!entry->child) {
            entry->child = static_cast<ConfigTable*>(std::calloc(1, sizeof(ConfigTable)));
            if (!entry->child) return false;
            entry->child->parent = table;
        }
        return configUpdate(entry->child, colon + 1, value);
    }
    if (equals) value = equals + 1;
    const size_t tagLength = equals ? static_cast<size_t>(equals - tag) : std::strlen(tag);
    char* copy = nullptr;
    if (value) {
        copy = copyText(value, std::strlen(value));
        if (!copy) return false;
    }
    ConfigEntry* entry = obtainEntry(table, tag, tagLength);
    if (!entry) {
        std::free(copy);
        return false;
    }
    std::free(entry->value);
    entry->value = copy;
    return true;
}

bool configUpdateInteger(ConfigTable* table, const char* tag, long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return configUpdate(table, tag, text);
}

void configClear(ConfigTable* table) {
    if (!table) return;
    for (int32_t i = 0; i < table->size; ++i) {
        ConfigEntry& entry = table->entries[i];
        if (!entry.tag || entry.tag == kDeletedTag) continue;
        std::free(entry.tag);
        std::free(entry.value);
        if (entry.child) {
            configClear(entry.child);
            std::free(entry.child);
        }
    }
    std::free(table->entries);
    table->entries = nullptr;
    table->size = 0;
}

}  // namespace tov::rdi
