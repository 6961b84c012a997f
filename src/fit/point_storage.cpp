#include "fit/point_storage.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__linux__) && defined(MADV_HUGEPAGE)
#define TALLOWFIT_ADVISE_PAGES 1
#endif

namespace tallowfit {

namespace {

// A block is large from here: smaller ones mostly come from memory the heap
// already has, where faulting in or keeping would gain nothing.
constexpr std::size_t kLargeBlockBytes = std::size_t(1) << 18;
// What a thread keeps at most between fits: the blocks of a fit of 10^5
// points. Larger fits take new blocks, in huge pages; blocks kept while a fit
// goes on add to its peak, by no more than this.
constexpr std::size_t kKeptBytes = std::size_t(1) << 24;
constexpr int kKeptBlocks = 8;

// The blocks a thread kept, oldest first; deleted when the thread ends.
struct KeptBlocks {
    void* blocks[kKeptBlocks] = {};
    std::size_t sizes[kKeptBlocks] = {};
    int count = 0;
    std::size_t bytes = 0;

    void* take(std::size_t size) {
        for (int k = count - 1; k >= 0; --k) {
            if (sizes[k] == size) {
                void* block = blocks[k];
                drop(k);
                return block;
            }
        }
        return nullptr;
    }
    void drop(int k) {
        bytes -= sizes[k];
        for (--count; k < count; ++k) {
            blocks[k] = blocks[k + 1];
            sizes[k] = sizes[k + 1];
        }
    }
    void keep(void* block, std::size_t size) {
        while (count == kKeptBlocks || bytes + size > kKeptBytes) {
            ::operator delete(blocks[0]);
            drop(0);
        }
        blocks[count] = block;
        sizes[count++] = size;
        bytes += size;
    }
    ~KeptBlocks() {
        for (int k = 0; k < count; ++k) ::operator delete(blocks[k]);
    }
};

thread_local KeptBlocks keptBlocks;

#if defined(TALLOWFIT_ADVISE_PAGES)
// The huge page of x86-64 and of most 64-bit systems; only whole ones inside
// a block are asked for, so a huge page never holds memory the block does not.
constexpr std::uintptr_t kHugePageBytes = std::uintptr_t(1) << 21;
constexpr std::uintptr_t kPageBytes = std::uintptr_t(1) << 12;

// The whole units of size inside [start, end), as [first, last).
void wholeUnits(std::uintptr_t start, std::uintptr_t end, std::uintptr_t size,
                std::uintptr_t* first, std::uintptr_t* last) {
    *first = (start + size - 1) & ~(size - 1);
    *last = end & ~(size - 1);
}
#endif

}  // namespace

void* takePointBlock(std::size_t bytes) {
    if (bytes < kLargeBlockBytes) return ::operator new(bytes);
    void* block = keptBlocks.take(bytes);
    if (block == nullptr) {
        block = ::operator new(bytes);
        prepareLargeBlock(block, bytes);
    }
    return block;
}

void givePointBlock(void* block, std::size_t bytes) noexcept {
    if (bytes < kLargeBlockBytes || bytes > kKeptBytes) {
        ::operator delete(block);
    } else {
        keptBlocks.keep(block, bytes);
    }
}

void prepareLargeBlock(void* block, std::size_t bytes) {
#if defined(TALLOWFIT_ADVISE_PAGES)
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    std::uintptr_t first = 0, last = 0;
    wholeUnits(start, start + bytes, kHugePageBytes, &first, &last);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
    // One call faults in every page: a fault a page costs about twice as much.
    // Older kernels refuse the advice and the pages come one by one as before.
    wholeUnits(start, start + bytes, kPageBytes, &first, &last);
    if (last - first >= kLargeBlockBytes)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#endif
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace tallowfit
