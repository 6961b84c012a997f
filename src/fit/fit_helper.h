// The second thread of one fit, started when a pass first offers it work and
// ended with the fit. Only the array engine uses one: the classic module keeps
// every call on its caller's thread.
#ifndef TALLOWFIT_FIT_FIT_HELPER_H
#define TALLOWFIT_FIT_FIT_HELPER_H

#include <memory>

#include "numeric/work_sharing.h"

namespace tallowfit {

class FitHelper {
public:
    FitHelper();
    ~FitHelper();
    FitHelper(const FitHelper&) = delete;
    FitHelper& operator=(const FitHelper&) = delete;

    // The sharing to hand the fit, or null on a machine of one core. The
    // thread starts when first offered a job, if no other fit has one then
    // and the system will start it; otherwise the fit does the job itself,
    // with the same results.
    const WorkSharing* sharing() const { return sharing_.helper ? &sharing_ : nullptr; }

private:
    struct Thread;
    static bool start(void* helper, void (*job)(void*), void* context);
    static void finish(void* helper);

    std::unique_ptr<Thread> thread_;
    WorkSharing sharing_;
};

}  // namespace tallowfit

#endif
