// Fuzzes the S-record line parser under every combination of line rules, and the streaming
// reader over a whole file: records stay within their bounds and parsing ends.
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "fuzz/support/memory_file.h"
#include "files/srecord_reader.h"

using namespace tov::files;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t pick = data[0];
    SRecordLineRules rules;
    rules.skipBlankLines = pick & 1;
    rules.recordAtFirstS = pick & 2;
    rules.upperCaseOnly = pick & 4;
    rules.exactLength = pick & 8;
    rules.maxLineLength = (pick & 16) ? 519 : 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    SRecord record;
    std::string problem;
    const auto result = parseSRecordLine(text.substr(0, text.find('\n')), rules, record, &problem);
    if (result == LineResult::kRecord) {
        FUZZ_CHECK(record.type >= 1 && record.type <= 3);
        FUZZ_CHECK(record.length <= SRecord::kMaxData);
    }
    if (result == LineResult::kError) FUZZ_CHECK(!problem.empty());

    tov::fuzz::MemoryFile file(data + 1, size - 1);
    SRecordReader reader(rules);
    FUZZ_CHECK(reader.open(file.path().c_str()));
    for (;;) {
        const auto status = reader.next(record);
        FUZZ_CHECK(reader.consumed() <= reader.size());
        if (status != SRecordReader::Status::kRecord) {
            if (status != SRecordReader::Status::kEnd) FUZZ_CHECK(!reader.problem().empty());
            break;
        }
        FUZZ_CHECK(record.length > 0 && record.length <= SRecord::kMaxData);
    }
    return 0;
}
