// The shared 4 GiB reservation behind target memory, and the fault handler that fills in a
// granule on the emulated core's first touch.
#include "sim/memory_store.h"

#include <sys/mman.h>

#include <array>
#include <mutex>

namespace tov::sim {
namespace {

// Stores that may take a fault, for the handler to find by address. Slots are claimed and
// released with atomics only, as the handler reads them at any moment.
constexpr int kSlots = 256;
std::array<std::atomic<MemoryStore*>, kSlots> gStores{};
struct sigaction gPrevious {};
std::once_flag gInstalled;

}  // namespace

MemoryStore::MemoryStore(Fill fill, const void* context) : fill_(fill), context_(context) {
    void* p =
        ::mmap(nullptr, kSpace, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
    state_ = std::make_unique<std::atomic<uint8_t>[]>(kGranules);
    for (int i = 0; i < kSlots; ++i) {
        MemoryStore* none = nullptr;
        if (gStores[i].compare_exchange_strong(none, this)) {
            slot_ = i;
            break;
        }
    }
    if (slot_ < 0) {
        // Too many stores in one process for the handler to tell apart: refuse this one.
        ::munmap(p, kSpace);
        return;
    }
    base_ = static_cast<uint8_t*>(p);
    installHandler();
}

MemoryStore::~MemoryStore() {
    if (slot_ >= 0) gStores[slot_].store(nullptr);
    if (base_) ::munmap(base_, kSpace);
}

bool MemoryStore::materializeGranule(size_t index) {
    std::atomic<uint8_t>& state = state_[index];
    uint8_t seen = kNone;
    if (!state.compare_exchange_strong(seen, kFilling, std::memory_order_acq_rel)) {
        while (seen == kFilling) seen = state.load(std::memory_order_acquire);
        return true;
    }
    uint8_t* at = base_ + index * size_t{kGranule};
    if (::mprotect(at, kGranule, PROT_READ | PROT_WRITE) != 0) {
        state.store(kNone, std::memory_order_release);
        return false;
    }
    fill_(context_, static_cast<uint32_t>(index * kGranule), at, kGranule);
    count_.fetch_add(1, std::memory_order_relaxed);
    state.store(kReady, std::memory_order_release);
    return true;
}

bool MemoryStore::materialize(uint32_t address, size_t size) {
    if (!base_ || size == 0) return base_ != nullptr;
    const uint64_t last = uint64_t{address} + size - 1;
    for (uint64_t g = address / kGranule; g <= last / kGranule; ++g) {
        const size_t index = static_cast<size_t>(g % kGranules);
        if (state_[index].load(std::memory_order_acquire) != kReady && !materializeGranule(index)) {
            return false;
        }
    }
    return true;
}

bool MemoryStore::onFault(void* address) {
    const auto* at = static_cast<const uint8_t*>(address);
    for (auto& slot : gStores) {
        MemoryStore* store = slot.load(std::memory_order_acquire);
        if (!store || at < store->base_ || at >= store->base_ + kSpace) continue;
        const size_t index = static_cast<size_t>(at - store->base_) / kGranule;
        // A fault on a granule that has its memory is not ours to mend.
        if (store->state_[index].load(std::memory_order_acquire) == kReady) return false;
        return store->materializeGranule(index);
    }
    return false;
}

void MemoryStore::handler(int signal, siginfo_t* info, void* context) {
    if (onFault(info->si_addr)) return;  // the access runs again, now on filled memory
    if (gPrevious.sa_flags & SA_SIGINFO) {
        gPrevious.sa_sigaction(signal, info, context);
        return;
    }
    if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
        return;
    }
    // Nobody else wants it: the access faults again, now with the default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGSEGV, &fallback, nullptr);
}

void MemoryStore::installHandler() {
    std::call_once(gInstalled, [] {
        struct sigaction action {};
        action.sa_sigaction = &MemoryStore::handler;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGSEGV, &action, &gPrevious);
    });
}

}  // namespace tov::sim
