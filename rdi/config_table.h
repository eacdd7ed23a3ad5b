// Operations on the debugger's configuration object: a tag/value hash table with parents,
// whose layout the library and the debugger share (include/tovrdi.h).
#pragma once

#include <cstdint>

#include "include/tovrdi.h"

namespace tov::rdi {

// The slot hash of a tag: h = h * 29 + toupper(c) per character (up to a line end), then once
// more * 29.
uint32_t tagHash(const char* tag);

// The entry holding `tag` in this table only, or nullptr.
ConfigEntry* findEntry(const ConfigTable* table, const char* tag);

// The value of `tag`, searched in the table and then in its parents: "" for a tag present
// without a value, nullptr when absent.
const char* configLookup(const ConfigTable* table, const char* tag);

// An integer value (decimal, 0x hexadecimal or 0 octal, parsed as far as it goes), or
// `fallback` when the tag is absent.
long configInteger(const ConfigTable* table, const char* tag, long fallback);

// Sets `tag` to `value` in this table, creating the entry (tag upper-cased) when missing. A ":"
// in the tag steps into the child table of the part before it (created when missing); "TAG=VALUE"
// supplies the value inline. False when memory ran out (the tag keeps its old value).
bool configUpdate(ConfigTable* table, const char* tag, const char* value);
// The same with an integer written in decimal.
bool configUpdateInteger(ConfigTable* table, const char* tag, long value);

// Frees every entry, child table and the slot array (for the debugger side, which owns the
// table); the table itself is left empty and may be reused.
void configClear(ConfigTable* table);

}  // namespace tov::rdi
