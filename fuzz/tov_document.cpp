// Fuzzes the ".tov" reader: a damaged file is refused, and a file it accepts is stored again
// into bytes that load back to the same document.
#include <vector>

#include "fuzz/support/check.h"
#include "setup/doc_archive.h"

using namespace tov::setup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTovDoc doc;
    if (!loadDocument({data, size}, doc)) return 0;
    const std::vector<uint8_t> stored = storeDocument(doc);
    CTovDoc again;
    FUZZ_CHECK(loadDocument(stored, again));
    FUZZ_CHECK(storeDocument(again) == stored);
    FUZZ_CHECK(again.mode == doc.mode && again.comm == doc.comm);
    FUZZ_CHECK(again.initList.texts() == doc.initList.texts());
    return 0;
}
