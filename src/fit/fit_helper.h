// The second thread of the engine's fits: one for the process, started when a
// pass first offers it work, and kept for the passes of later fits. Only the
// array engine uses it: the classic module keeps every call on its caller's
// thread.
#ifndef TALLOWFIT_FIT_FIT_HELPER_H
#define TALLOWFIT_FIT_FIT_HELPER_H

#include "numeric/work_sharing.h"

namespace tallowfit {

// One per fit: counts the fit as under way while it lives.
class FitHelper {
public:
    // offerWork false keeps the fit on its caller's thread: for a caller whose
    // other processes keep the cores busy, which the count cannot see.
    explicit FitHelper(bool offerWork);
    ~FitHelper();
    FitHelper(const FitHelper&) = delete;
    FitHelper& operator=(const FitHelper&) = delete;

    // The sharing to hand the fit, or null on a machine of one core or when the
    // fit keeps to its caller's thread. A job is offered to the thread only
    // while no other fit is under way and no other fit holds the thread, and
    // only if the system will start it; otherwise the fit does the job
    // itself, with the same results.
    const WorkSharing* sharing() const { return sharing_.helper ? &sharing_ : nullptr; }

private:
    WorkSharing sharing_;
};

}  // namespace tallowfit

#endif
