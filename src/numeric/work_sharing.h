// A second thread for the per-point work of a pass that no sum depends on:
// the model's values and derivatives, its exponentials and powers. The pass
// offers part of its points to the other thread, works through the rest, and
// has every offered point done before it sums them, so every sum adds its
// terms in the same order as on one thread, and every value is the same call
// on the same argument: the results are the same to the bit.
#ifndef TALLOWFIT_NUMERIC_WORK_SHARING_H
#define TALLOWFIT_NUMERIC_WORK_SHARING_H

#include <atomic>
#include <cstdint>

namespace tallowfit {

struct WorkSharing {
    // Offers job(context) to the other thread and returns at once: true, or
    // false when the other thread is not to be had now.
    bool (*start)(void* helper, void (*job)(void* context), void* context);
    // Returns when the job offered last has ended, or at once, taking it
    // back, when the other thread has not begun it.
    void (*finish)(void* helper);
    void* helper;
};

// Below this many points a pass keeps to its own thread: the hand-over costs
// more than sharing saves. Above the upper bound, the chunk claims could pass
// the largest point index.
constexpr uint32_t kSharedPassPoints = 1u << 14;
constexpr uint32_t kMaxSharedPoints = 1u << 31;
// Offered points are claimed this many at a time.
constexpr uint32_t kSharedChunkPoints = 1u << 12;

// A pass that only stores per-point values keeps half its points; one that
// also sums every point on its own thread keeps a third, so that the other
// thread, which only evaluates, has about as much to do.
enum PassKind : uint32_t { kStoringPass = 2, kSummingPass = 3 };

// The first point offered to the other thread: n (none) without sharing or
// outside the bounds.
inline uint32_t sharedPartStart(const WorkSharing* sharing, uint32_t n, PassKind kind) {
    return sharing == nullptr || n < kSharedPassPoints || n > kMaxSharedPoints ? n : n / kind;
}

// Runs here() on this thread and chunk(from, to) over [start, n) in chunks,
// each claimed by whichever thread is free: the other thread from when it
// begins, this one once here() has ended. A busy machine that gives the other
// thread no core then costs the hand-over alone. Returns true when all is
// done; false, having run nothing, when the other thread is not to be had,
// and the caller then makes the pass on its own.
template <typename Here, typename Chunk>
bool shareChunks(const WorkSharing* sharing, uint32_t start, uint32_t n, Here here, Chunk chunk) {
    std::atomic<uint32_t> next(start);
    auto claimChunks = [&]() {
        for (uint32_t from = next.fetch_add(kSharedChunkPoints); from < n;
             from = next.fetch_add(kSharedChunkPoints)) {
            chunk(from, n - from < kSharedChunkPoints ? n : from + kSharedChunkPoints);
        }
    };
    struct Job {
        static void run(void* context) { (*static_cast<decltype(claimChunks)*>(context))(); }
    };
    if (!sharing->start(sharing->helper, &Job::run, &claimChunks)) return false;
    here();
    claimChunks();
    sharing->finish(sharing->helper);
    return true;
}

}  // namespace tallowfit

#endif
