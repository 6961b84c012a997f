#include "fit/fit_helper.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include <pthread.h>
#if defined(__linux__)
#include <sched.h>
#endif

namespace tallowfit {

namespace {

// The engine's fits under way. A fit offers the thread work only while it is
// the only one: fits on other threads keep the cores busy already, and work
// handed between two cores costs more in all than it costs on one.
std::atomic<int> fitsUnderWay(0);

// How long a side that waits for the other looks before it sleeps. The passes
// of a fit follow each other within microseconds: a side that slept would
// wait for the scheduler's wake-up on each hand-over, which can cost as much
// as the chunk it waits for.
constexpr std::chrono::microseconds kLookingTime(100);
// How long the thread waits for a job before it ends. Fits made one after
// another keep it; a process that stops fitting, or forks, has no thread left
// of the engine's after this.
constexpr std::chrono::milliseconds kIdleTime(50);

enum JobState : int { kNoJob, kOffered, kRunning };

// The process's second thread: runs offered jobs, one at a time, for
// whichever fit holds it, and ends when none comes for a while; the next
// offer starts it again.
struct HelperThread {
    std::atomic<bool> held{false};  // by the fit whose job is offered or running
    std::atomic<int> state{kNoJob};
    void (*job)(void*) = nullptr;  // written before the offer, read after it
    void* context = nullptr;
    std::mutex mutex;  // every change of state, and of serving, is made under it
    std::condition_variable changed;
    bool serving = false;  // a thread runs serve()
    HelperThread* const parent;  // the one a forked child copied, kept untouched

    explicit HelperThread(HelperThread* parentObject) : parent(parentObject) {}

    // False when no thread serves and the system will not start one
    // (std::system_error).
    bool offer(void (*offered)(void*), void* offeredContext) {
        job = offered;
        context = offeredContext;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!serving) {
                try {
                    std::thread(&HelperThread::serve, this).detach();
                } catch (const std::exception&) {
                    return false;
                }
                serving = true;
            }
            state.store(kOffered);
        }
        changed.notify_all();
        return true;
    }

    void serve() {
        while (awaitOffer()) {
            int offered = kOffered;
            // The fit may take an offer back that the thread has not begun.
            if (!state.compare_exchange_strong(offered, kRunning)) continue;
            job(context);
            setState(kNoJob);
        }
    }

    void setState(JobState next) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            state.store(next);
        }
        changed.notify_all();
    }

    // True once a job is offered; false, the thread no longer serving, when
    // none is for kIdleTime.
    bool awaitOffer() {
        if (lookFor(kOffered)) return true;
        std::unique_lock<std::mutex> lock(mutex);
        if (changed.wait_for(lock, kIdleTime, [this] { return state.load() == kOffered; }))
            return true;
        serving = false;
        return false;
    }

    void awaitState(JobState wanted) {
        if (lookFor(wanted)) return;
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this, wanted] { return state.load() == wanted; });
    }

    bool lookFor(JobState wanted) const {
        const auto until = std::chrono::steady_clock::now() + kLookingTime;
        do {
            for (int k = 0; k < 64; ++k) {
                if (state.load() == wanted) return true;
                pauseInWaitLoop();
            }
        } while (std::chrono::steady_clock::now() < until);
        return false;
    }
};

// Made once and never deleted: a thread that ends still reads it on its way
// out.
std::atomic<HelperThread*> processThread(nullptr);
std::atomic<bool> makingThread(false);

// A forked child has only the thread that forked, which is in no fit, and
// may have copied the object in the middle of a change (its mutex held by a
// thread the child lacks): the child makes an object of its own at its first
// offer, and keeps the parent's, untouched, where it can still be found.
std::atomic<HelperThread*> parentThread(nullptr);

void forgetThreadInChild() {
    fitsUnderWay.store(0);
    HelperThread* thread = processThread.exchange(nullptr);
    if (thread != nullptr) parentThread.store(thread);
    makingThread.store(false);
}

// The object, or null while another fit makes it or when it cannot be made
// (std::bad_alloc, or no way to forget it in a forked child); the next offer
// tries again.
HelperThread* helperThread() {
    HelperThread* thread = processThread.load();
    if (thread != nullptr || makingThread.exchange(true)) return thread;
    static bool forkHandled = false;  // read and written only by the making fit
    if (!forkHandled) forkHandled = pthread_atfork(nullptr, nullptr, &forgetThreadInChild) == 0;
    try {
        if (forkHandled) thread = new HelperThread(parentThread.exchange(nullptr));
    } catch (const std::exception&) {
    }
    if (thread == nullptr) {
        makingThread.store(false);
    } else {
        processThread.store(thread);
    }
    return thread;
}

// Whether the calling thread may run on two cores now: a process held to one
// (taskset, a container's cpuset) would have the two threads take turns on it.
bool twoCoresAllowed() {
#if defined(__linux__)
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0) return CPU_COUNT(&cores) >= 2;
#endif
    return true;
}

bool offerJob(void*, void (*job)(void*), void* context) {
    if (fitsUnderWay.load() > 1 || !twoCoresAllowed()) return false;
    HelperThread* thread = helperThread();
    if (thread == nullptr || thread->held.exchange(true)) return false;
    if (thread->offer(job, context)) return true;
    thread->held.store(false);
    return false;
}

void finishJob(void*) {
    HelperThread* thread = processThread.load();
    int offered = kOffered;
    if (!thread->state.compare_exchange_strong(offered, kNoJob)) thread->awaitState(kNoJob);
    thread->held.store(false);
}

}  // namespace

FitHelper::FitHelper(bool offerWork) : sharing_{&offerJob, &finishJob, nullptr} {
    // Asked once: the count is read from the system on every call.
    static const bool secondCore = std::thread::hardware_concurrency() >= 2;
    ++fitsUnderWay;
    if (offerWork && secondCore) sharing_.helper = this;
}

FitHelper::~FitHelper() { --fitsUnderWay; }

}  // namespace tallowfit
