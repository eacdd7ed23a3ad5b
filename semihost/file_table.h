// The host files a target program has open, by the small numbers the program knows them by.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tov::semihost {

// Handle 1 is always the console (never stored here); host files get the smallest free number
// from 2 up. A handle also names the read-only feature description a program may open, whose
// bytes live in memory.
class FileTable {
public:
    static constexpr uint32_t kConsole = 1;

    struct Entry {
        std::FILE* file = nullptr;   // a host file, or
        std::vector<uint8_t> bytes;  // the in-memory feature description
        size_t position = 0;         // read position in `bytes`
    };

    FileTable() = default;
    FileTable(const FileTable&) = delete;
    FileTable& operator=(const FileTable&) = delete;
    ~FileTable();

    // The handle of a new entry.
    uint32_t add(Entry entry);
    // The entry, or nullptr when the handle is not open.
    Entry* find(uint32_t handle);
    // Closes and forgets the entry: 0, or -1 when closing the host file failed.
    int close(uint32_t handle);
    void closeAll();

private:
    std::map<uint32_t, Entry> entries_;
};

}  // namespace tov::semihost
