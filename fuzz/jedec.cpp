// Fuzzes the JEDEC fuse-map reader over small device geometries picked by the first bytes: the
// rows handed out always have the device's shape.
#include <string>
#include <vector>

#include "fuzz/support/check.h"
#include "fuzz/support/memory_file.h"
#include "maint/jedec_reader.h"

using namespace tov::maint;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    JedecLayout layout;
    layout.rows = data[0] % 8;
    layout.rowLength = data[1] % 64;
    layout.linesPerRow = 1 + data[2] % 4;
    layout.lineLimit = data[3] & 0x7F;
    layout.startByPrefix = data[3] & 0x80;
    tov::fuzz::MemoryFile file(data + 4, size - 4);
    std::vector<std::string> rows;
    if (readJedecRows(file.path(), layout, rows) == JedecError::kNone) {
        FUZZ_CHECK(rows.size() == layout.rows);
        for (const auto& row : rows) {
            FUZZ_CHECK(row.size() == layout.rowLength);
            FUZZ_CHECK(row.find_first_not_of("01") == std::string::npos);
        }
    }
    return 0;
}
