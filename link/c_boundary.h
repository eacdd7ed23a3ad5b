// The one guard every exported C function of both libraries runs its body in: whatever is thrown
// inside (an allocation failure included) ends here as the library's failure value.
#pragma once

#include <concepts>
#include <type_traits>
#include <utility>

namespace tov::link {

// Called from inside a catch handler: records the words of the exception being handled as the
// explanation of the failure ("internal failure: std::bad_alloc") and returns those words. It
// never throws, also when memory is exhausted.
const char* recordEscapedException() noexcept;

// The default report of an escaped exception: nothing beyond the recorded explanation.
struct NoEscapeReport {
    void operator()(const char*) const noexcept {}
};

// Runs `fn` and returns its result; an exception thrown inside becomes `failure`, its words
// recorded for TOV_LastErrorDetail and handed to `report` (which may log or tidy up; what it
// throws is swallowed too). With `failure` of type void, `fn` returns nothing.
template <typename Result, typename Fn, typename Report = NoEscapeReport>
requires std::invocable<Fn> Result guardedCall(Result failure, Fn&& fn, Report&& report = {})
noexcept {
    try {
        return std::forward<Fn>(fn)();
    } catch (...) {
        const char* what = recordEscapedException();
        try {
            report(what);
        } catch (...) {
        }
        return failure;
    }
}

template <typename Fn, typename Report = NoEscapeReport>
requires std::invocable<Fn> && std::is_void_v<std::invoke_result_t<Fn>>
void guardedCall(Fn&& fn, Report&& report = {}) noexcept {
    guardedCall(
        0,
        [&] {
            std::forward<Fn>(fn)();
            return 0;
        },
        std::forward<Report>(report));
}

}  // namespace tov::link
