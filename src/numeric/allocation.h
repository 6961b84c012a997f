// Working storage of the numeric routines: every buffer comes zero-filled from
// allocateZeroed and goes back through releaseStorage, so that a test build can
// make any chosen allocation fail and count what is still outstanding.
#ifndef TALLOWFIT_NUMERIC_ALLOCATION_H
#define TALLOWFIT_NUMERIC_ALLOCATION_H

#include <cstddef>

namespace tallowfit {

// count elements of size bytes, all bits zero; null when memory cannot be had.
// A count of 0 still yields a valid, releasable block.
void* allocateZeroed(std::size_t count, std::size_t size);

// Releases a block from allocateZeroed; null is ignored.
void releaseStorage(void* block);

template <typename T>
T* allocateArray(std::size_t count) {
    return static_cast<T*>(allocateZeroed(count, sizeof(T)));
}

#ifdef TALLOWFIT_FAULT_INJECTION
// Test builds only: make the k-th allocation from now on fail (1 = the next
// one); 0 turns failures off. Resets the count of allocations made.
void failAllocationAt(long k);
// Allocations made since the last failAllocationAt, the failed one included.
long allocationsMade();
// Blocks allocated and not yet released, over the life of the process.
long allocationsOutstanding();
#endif

}  // namespace tallowfit

#endif
