// Host file handles of the semihosting service.
#include "semihost/file_table.h"

namespace tov::semihost {

FileTable::~FileTable() {
    closeAll();
}

uint32_t FileTable::add(Entry entry) {
    uint32_t handle = kConsole + 1;
    while (entries_.count(handle)) ++handle;
    entries_.emplace(handle, std::move(entry));
    return handle;
}

FileTable::Entry* FileTable::find(uint32_t handle) {
    auto it = entries_.find(handle);
    return it == entries_.end() ? nullptr : &it->second;
}

int FileTable::close(uint32_t handle) {
    auto it = entries_.find(handle);
    if (it == entries_.end()) return -1;
    int rc = it->second.file ? std::fclose(it->second.file) : 0;
    entries_.erase(it);
    return rc == 0 ? 0 : -1;
}

void FileTable::closeAll() {
    for (auto& [handle, entry] : entries_) {
        if (entry.file) std::fclose(entry.file);
    }
    entries_.clear();
}

}  // namespace tov::semihost
