// The replaced global operator new and delete: plain malloc and free, with one allocation of the
// thread refused on request.
#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace tov::test {
namespace {

thread_local long untilFailure = -1;
thread_local bool refused = false;

void* allocate(std::size_t size) {
    if (untilFailure >= 0 && untilFailure-- == 0) {
        refused = true;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}

}  // namespace

FailingAllocation::FailingAllocation(long index) {
    untilFailure = index;
    refused = false;
}

FailingAllocation::~FailingAllocation() {
    untilFailure = -1;
}

bool FailingAllocation::struck() const {
    return refused;
}

}  // namespace tov::test

void* operator new(std::size_t size) {
    return tov::test::allocate(size);
}

void* operator new[](std::size_t size) {
    return tov::test::allocate(size);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
