// Fuzzes the RDI configuration table: lines of the input are updates ("TAG=VALUE", nested
// "PARENT:TAG"), lookups and integer reads; every tag set can be found again.
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "rdi/config_table.h"

using namespace tov::rdi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConfigTable parent{};
    ConfigTable table{};
    table.parent = &parent;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string line(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty()) continue;
        const char op = line[0];
        const std::string tag = line.substr(1, line.find('\t') == std::string::npos
                                                   ? std::string::npos
                                                   : line.find('\t') - 1);
        const std::string value =
            line.find('\t') == std::string::npos ? "" : line.substr(line.find('\t') + 1);
        switch (op % 5) {
            case 0:
                configUpdate(&table, tag.c_str(), value.empty() ? nullptr : value.c_str());
                break;
            case 1:
                configUpdate(&parent, tag.c_str(), value.c_str());
                break;
            case 2:
                configLookup(&table, tag.c_str());
                break;
            case 3:
                configInteger(&table, tag.c_str(), -1);
                break;
            case 4:
                if (configUpdateInteger(&table, tag.c_str(), static_cast<long>(value.size())) &&
                    tag.find_first_of(":=") == std::string::npos && !tag.empty()) {
                    FUZZ_CHECK(findEntry(&table, tag.c_str()) != nullptr);
                }
                break;
        }
    }
    configClear(&table);
    configClear(&parent);
    return 0;
}
