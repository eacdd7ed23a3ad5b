// The target's whole 4 GiB address space as one reservation of host memory that the link's
// requests and the emulated core share, filled in granule by granule on first use.
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tov::sim {

// One host address per target address, so the emulated core maps a region of target memory
// with a single pointer into the same bytes the link reads and writes. Nothing is committed up
// front: a granule gets host memory, filled by `fill`, the first time anyone touches it. The
// owner fills in a granule before it writes there (materialize); the core touches granules
// without asking, and its first access to one lands in a fault handler that fills it in and lets
// the access go on. Granules are large enough that the kernel's limit on separate mappings
// cannot be reached however scattered the touched granules are.
class MemoryStore {
public:
    static constexpr uint64_t kSpace = uint64_t{1} << 32;
    static constexpr uint32_t kGranule = 256 * 1024;
    static constexpr size_t kGranules = kSpace / kGranule;

    // Writes the first contents of the `size` bytes from target address `base`; `context` is
    // the one given with it. Called from the fault handler too: it must not allocate, lock or
    // throw.
    using Fill = void (*)(const void* context, uint32_t base, uint8_t* out, size_t size);

    MemoryStore(Fill fill, const void* context);
    ~MemoryStore();
    MemoryStore(const MemoryStore&) = delete;
    MemoryStore& operator=(const MemoryStore&) = delete;

    // False when the host refused the reservation (then nothing else may be used).
    bool usable() const { return base_ != nullptr; }
    // The host address of target address 0.
    uint8_t* base() const { return base_; }

    bool materialized(uint32_t address) const {
        return state_[address / kGranule].load(std::memory_order_acquire) == kReady;
    }
    // Gives the granules holding [address, address + size) their memory; false when the host
    // has none to give.
    bool materialize(uint32_t address, size_t size);
    size_t granulesMaterialized() const { return count_.load(std::memory_order_relaxed); }

private:
    static constexpr uint8_t kNone = 0, kFilling = 1, kReady = 2;

    // Async-signal-safe: mprotect, the fill and atomics only.
    bool materializeGranule(size_t index);
    static bool onFault(void* address);
    static void handler(int signal, siginfo_t* info, void* context);
    static void installHandler();

    Fill fill_;
    const void* context_;
    uint8_t* base_ = nullptr;
    std::unique_ptr<std::atomic<uint8_t>[]> state_;
    std::atomic<size_t> count_{0};
    int slot_ = -1;
};

}  // namespace tov::sim
