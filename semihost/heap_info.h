// The answer to a program's heap info call: where its heap and stack lie.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tov::semihost {

// The four words of the answer. A zero word means "not known": the C library's start-up code
// then keeps its own choice (its end of data for the heap base, no heap limit, its linked stack
// for the stack base, no stack limit).
struct HeapInfo {
    uint32_t heapBase = 0;
    uint32_t heapLimit = 0;
    uint32_t stackBase = 0;
    uint32_t stackLimit = 0;

    bool operator==(const HeapInfo&) const = default;
};

// The answer of a server that knows nothing of the program's memory: the heap from the
// program's end with no limit but the stack, and the stack below 0xFFE00000, the top of the
// emulated core's read-write memory (its read-only megabyte follows). A program linked anywhere
// below that gets a heap; a board with less memory is described with the text form below.
inline constexpr HeapInfo kStackAtTopHeap{0, 0, 0xFFE00000, 0};

// "BASE,LIMIT,STACKBASE,STACKLIMIT": four numbers (decimal or 0x hexadecimal, up to
// 0xFFFFFFFF). nullopt with `problem` set when the text is not that form, or when a limit lies
// on the wrong side of its base (both given: the heap grows up, the stack down).
std::optional<HeapInfo> parseHeapInfo(std::string_view text, std::string& problem);

}  // namespace tov::semihost
