// Turning an exception that reached an exported function into the words of its failure.
#include "link/c_boundary.h"

#include <exception>
#include <string>

#include "link/error_detail.h"

namespace tov::link {

const char* recordEscapedException() noexcept {
    const char* what = "unknown exception";
    bool outOfMemory = false;
    try {
        throw;
    } catch (const std::bad_alloc& e) {
        what = e.what();
        outOfMemory = true;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    try {
        setErrorDetail(std::string("internal failure: ") + what);
    } catch (...) {
        // Short enough for the string's own buffer, so recording it needs no memory.
        try {
            setErrorDetail(outOfMemory ? "out of memory" : "internal error");
        } catch (...) {
        }
    }
    return what;
}

}  // namespace tov::link
