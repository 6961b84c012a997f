#include "fit/fit_helper.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace tallowfit {

namespace {

// The engine's fits under way. A fit offers its helper work only while it is
// the only one: fits on other threads keep the cores busy already, and work
// handed between two cores costs more in all than it costs on one.
std::atomic<int> fitsUnderWay(0);

}  // namespace

// Waits for a job, runs it, tells the fit, until the fit ends.
struct FitHelper::Thread {
    std::mutex mutex;
    std::condition_variable changed;
    void (*job)(void*) = nullptr;  // offered or running; null when none is
    void* context = nullptr;
    bool running = false;
    bool ending = false;
    std::thread thread;  // last: it starts when the rest is ready

    Thread() : thread(&Thread::serve, this) {}
    ~Thread() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ending = true;
        }
        changed.notify_all();
        thread.join();
    }

    void serve() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return job != nullptr || ending; });
            if (job == nullptr) return;
            running = true;
            lock.unlock();
            job(context);
            lock.lock();
            job = nullptr;
            running = false;
            changed.notify_all();
        }
    }
};

FitHelper::FitHelper() : sharing_{&FitHelper::start, &FitHelper::finish, nullptr} {
    // Asked once: the count is read from the system on every call.
    static const bool secondCore = std::thread::hardware_concurrency() >= 2;
    ++fitsUnderWay;
    if (secondCore) sharing_.helper = this;
}

FitHelper::~FitHelper() {
    thread_.reset();
    --fitsUnderWay;
}

// The job is not offered when other fits are under way, nor when no thread
// can be had: the fit then does it all itself.
bool FitHelper::start(void* helper, void (*job)(void*), void* context) {
    FitHelper* self = static_cast<FitHelper*>(helper);
    if (fitsUnderWay.load() > 1) return false;
    if (!self->thread_) {
        try {
            self->thread_.reset(new Thread());
        } catch (const std::exception&) {  // std::system_error or std::bad_alloc
            return false;
        }
    }
    Thread* thread = self->thread_.get();
    {
        std::lock_guard<std::mutex> lock(thread->mutex);
        thread->job = job;
        thread->context = context;
    }
    thread->changed.notify_all();
    return true;
}

void FitHelper::finish(void* helper) {
    Thread* thread = static_cast<FitHelper*>(helper)->thread_.get();
    if (thread == nullptr) return;
    std::unique_lock<std::mutex> lock(thread->mutex);
    if (!thread->running) {
        thread->job = nullptr;  // not begun: the fit did its part itself
        return;
    }
    thread->changed.wait(lock, [thread] { return thread->job == nullptr; });
}

}  // namespace tallowfit
