// Fails one chosen allocation of the calling thread with std::bad_alloc, through replacements of
// the global allocation functions that every library of the test process allocates with.
#pragma once

namespace tov::test {

// While it lives, allocation number `index` (0 is the next one) of this thread throws, once.
class FailingAllocation {
public:
    explicit FailingAllocation(long index);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    // Whether the chosen allocation came and was refused.
    bool struck() const;
};

}  // namespace tov::test
