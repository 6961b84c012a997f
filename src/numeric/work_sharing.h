// A second thread for the per-point work of a pass that no sum depends on:
// the model's values and derivatives, its exponentials and powers. The pass
// offers part of its points to the other thread and sums every point on its
// own, in order, each once it is evaluated, so every sum adds its terms in
// the same order as on one thread, and every value is the same call on the
// same argument: the results are the same to the bit.
#ifndef TALLOWFIT_NUMERIC_WORK_SHARING_H
#define TALLOWFIT_NUMERIC_WORK_SHARING_H

#include <atomic>
#include <cstdint>
#include <thread>

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
constexpr uint32_t kSharedPassPoints = 1u << 13;
constexpr uint32_t kMaxSharedPoints = 1u << 31;
// Offered points are claimed this many at a time.
constexpr uint32_t kSharedChunkPoints = 1u << 9;

// The end of the chunk that starts at from.
inline uint32_t chunkEnd(uint32_t from, uint32_t n) {
    return n - from < kSharedChunkPoints ? n : from + kSharedChunkPoints;
}

// Tells the core that this is a wait loop: it lets the other hyperthread run,
// and leaves the loop without a penalty for reordered loads.
inline void pauseInWaitLoop() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

// A thread that waits this many times for the other gives its core away once.
constexpr uint32_t kWaitsBeforeYield = 1u << 10;

// A pass that only stores per-point values keeps half its points. One that
// also sums every point keeps a sixteenth, enough to cover the other
// thread's wake-up, and then adds the offered points while the other thread
// evaluates those further on: evaluating a point costs about as much as
// adding it.
enum PassKind : uint32_t { kStoringPass = 2, kSummingPass = 16 };

// The first point offered to the other thread: n (none) without sharing or
// outside the bounds.
inline uint32_t sharedPartStart(const WorkSharing* sharing, uint32_t n, PassKind kind) {
    return sharing == nullptr || n < kSharedPassPoints || n > kMaxSharedPoints ? n : n / kind;
}

// Offers claimChunks() to the other thread: false when it is not to be had.
template <typename ClaimChunks>
bool offerClaims(const WorkSharing* sharing, ClaimChunks& claimChunks) {
    struct Job {
        static void run(void* context) { (*static_cast<ClaimChunks*>(context))(); }
    };
    return sharing->start(sharing->helper, &Job::run, &claimChunks);
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
            chunk(from, chunkEnd(from, n));
        }
    };
    if (!offerClaims(sharing, claimChunks)) return false;
    here();
    claimChunks();
    sharing->finish(sharing->helper);
    return true;
}

// The chunks of the offered points [start, n).
inline uint32_t sharedChunkCount(uint32_t start, uint32_t n) {
    return (n - start + kSharedChunkPoints - 1) / kSharedChunkPoints;
}

// Runs here() on this thread, then add(from, to) for each chunk of [start, n)
// in order, each once evaluate(from, to) has run for it. Chunks are evaluated
// as claimed, in order, by whichever thread is free: the other thread from
// when it begins; this one when the next chunk to add has not been evaluated
// and another is still unclaimed. evaluated: a flag a chunk
// (sharedChunkCount). Returns false, having run nothing, when the other
// thread is not to be had, and the caller then makes the pass on its own.
template <typename Here, typename Evaluate, typename Add>
bool pipelineChunks(const WorkSharing* sharing, uint32_t start, uint32_t n,
                    std::atomic<bool>* evaluated, Here here, Evaluate evaluate, Add add) {
    const uint32_t chunks = sharedChunkCount(start, n);
    for (uint32_t k = 0; k < chunks; ++k) evaluated[k].store(false, std::memory_order_relaxed);
    std::atomic<uint32_t> next(start);
    auto claimChunk = [&]() {
        const uint32_t from = next.fetch_add(kSharedChunkPoints);
        if (from >= n) return false;
        evaluate(from, chunkEnd(from, n));
        evaluated[(from - start) / kSharedChunkPoints].store(true, std::memory_order_release);
        return true;
    };
    auto claimChunks = [&]() {
        while (claimChunk()) {
        }
    };
    if (!offerClaims(sharing, claimChunks)) return false;
    here();
    for (uint32_t k = 0; k < chunks; ++k) {
        for (uint32_t waits = 1; !evaluated[k].load(std::memory_order_acquire); ++waits) {
            // Every chunk claimed: the other thread has this one under way,
            // on the other core or, on a busy machine, waiting for this one.
            if (claimChunk()) continue;
            if (waits % kWaitsBeforeYield == 0) {
                std::this_thread::yield();
            } else {
                pauseInWaitLoop();
            }
        }
        const uint32_t from = start + k * kSharedChunkPoints;
        add(from, chunkEnd(from, n));
    }
    sharing->finish(sharing->helper);
    return true;
}

}  // namespace tallowfit

#endif
