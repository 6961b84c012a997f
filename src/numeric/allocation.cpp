#include "numeric/allocation.h"

#include <cstdlib>

namespace tallowfit {

#ifdef TALLOWFIT_FAULT_INJECTION
namespace {
long failAt = 0;
long made = 0;
long outstanding = 0;
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
    ++made;
    if (failAt > 0 && made == failAt) return nullptr;
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
