// Storage that holds an entry per point. A fit of 10^5 points takes some
// 15 MB of such blocks and frees them again; the C library hands blocks that
// large back to the kernel, so each call would fault every page in afresh, at
// a cost per page of about the work of the fit on that page's points. A thread
// keeps what its last fit freed for its next one of the same size instead,
// and a block it takes new is faulted in in one go, with huge pages where they
// fit.
#ifndef TALLOWFIT_FIT_POINT_STORAGE_H
#define TALLOWFIT_FIT_POINT_STORAGE_H

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace tallowfit {

// bytes of storage; throws std::bad_alloc. Small blocks come from operator
// new as they are; a large one from the blocks this thread kept when one of
// that size is there, else from operator new, prepared as below.
void* takePointBlock(std::size_t bytes);

// Gives back a block of takePointBlock with its size: kept by this thread when
// it is large and the kept blocks stay under their bound, else deleted.
void givePointBlock(void* block, std::size_t bytes) noexcept;

// Before [block, block + bytes) is first written: asks for huge pages over
// every whole huge page inside it and, for a large block, faults its pages in
// with one call. A request the system declines changes nothing, so none is
// reported.
void prepareLargeBlock(void* block, std::size_t bytes);

template <typename T>
struct PointAllocator {
    typedef T value_type;
    PointAllocator() = default;
    template <typename U>
    PointAllocator(const PointAllocator<U>&) {}
    T* allocate(std::size_t count) { return static_cast<T*>(takePointBlock(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) noexcept {
        givePointBlock(block, count * sizeof(T));
    }
    // A resize leaves the new entries as they come, uninitialised: every
    // pass that sizes such a vector writes each entry before it is read, and
    // would otherwise write the whole block twice.
    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

template <typename T, typename U>
bool operator==(const PointAllocator<T>&, const PointAllocator<U>&) {
    return true;
}
template <typename T, typename U>
bool operator!=(const PointAllocator<T>&, const PointAllocator<U>&) {
    return false;
}

// One entry per point.
template <typename T>
using PointVector = std::vector<T, PointAllocator<T>>;

}  // namespace tallowfit

#endif
