#include "numeric/allocation.h"

#include <cstdlib>

#ifdef TALLOWFIT_FAULT_INJECTION
#include <atomic>
#endif

namespace tallowfit {

#ifdef TALLOWFIT_FAULT_INJECTION
namespace {
// Atomic: the engine's fits allocate on two threads at once.
std::atomic<long> failAt(0);
std::atomic<long> made(0);
std::atomic<long> outstanding(0);
}  // namespace

void failAllocationAt(long k) {
    failAt = k;
    made = 0;
}

long allocationsMade() { return made; }

long allocationsOutstanding() { return outstanding; }
#endif

void* allocateZeroed(std::size_t count, std::size_t size) {
#ifdef TALLOWFIT_FAULT_INJECTION
    const long madeNow = ++made;
    if (failAt > 0 && madeNow == failAt) return nullptr;
#endif
    // calloc(0, ...) may return null, which callers would read as a failure.
    void* block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
#ifdef TALLOWFIT_FAULT_INJECTION
    if (block) ++outstanding;
#endif
    return block;
}

void releaseStorage(void* block) {
#ifdef TALLOWFIT_FAULT_INJECTION
    if (block) --outstanding;
#endif
    std::free(block);
}

}  // namespace tallowfit
