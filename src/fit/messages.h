// Every fixed text that a call can write or hand to the diagnostic hook, in one
// place: the fit layer's refusals and the module's. Callers compare these texts
// character for character, so each exists only here.
#ifndef TALLOWFIT_FIT_MESSAGES_H
#define TALLOWFIT_FIT_MESSAGES_H

namespace tallowfit {

// Refusals of a fit, thrown as std::invalid_argument or std::runtime_error.
constexpr const char* kZeroPoints = "Invalid argument.  There are zero points to fit.";
constexpr const char* kDualModelRefused =
    "This method does not support optimizing the 'Dual' mathematical model.  Please invoke "
    "'optimizeDualModel' instead. ";
constexpr const char* kNoOptimalOrder =
    "Invalid argument.  There is no way to determine optimal order for this model";
constexpr const char* kFewerPoints =
    "Invalid argument.  There are fewer points than coefficients for this model.";
constexpr const char* kFewerValidPoints =
    "Invalid argument.  There are fewer points than coefficients for this model because "
    "invalid points have been removed.";
constexpr const char* kTooFewDegreesOfFreedom =
    "There are too few points or too many mathematical exceptions to compute reduced "
    "chi-square, mfreedom <= ndata.";
constexpr const char* kNoAverage =
    "There are too few points, 0 == ndata, to compute average error.";
constexpr const char* kXPointRefused =
    "Encountered an x-point less than equal to zero.  This mathematical model cannot be "
    "evaluated at that point.  Potential divide by zero.";
constexpr const char* kYPointRefused =
    "Encountered an y-point that is less than equal to zero.  This mathematical model cannot "
    "be evaluated at that point.";
constexpr const char* kUncPointRefused =
    "Encountered an unc-point that is less than equal to zero.  This mathematical model cannot "
    "be evaluated at that point.";
constexpr const char* kNoLinearTransformation =
    "Invalid argument.  There is no linear transformation defined for this model.";
constexpr const char* kNoModelFunction =
    "Invalid argument.  There is no function associated with this mathematical model.";

// Refusals of the arguments as read.
constexpr const char* kOptimizeModelUsage =
    "optimizeForModel() Failed. Check number of or type of arguments passed.  This method's "
    "argument list should be (list, int32_t, int32_t, int32_t)";
constexpr const char* kOptimizeDualModelUsage =
    "optimizeDualModel() Failed. Check number of or type of arguments passed.  This method's "
    "argument list should be (list, float, int32_t, int32_t, int32_t)";
constexpr const char* kFindRootsUsage =
    "findRoots() Failed. Check number of or type of arguments passed.  This method's argument "
    "list should be (list)";
constexpr const char* kPointRefusal =
    "PyArg_Parse() Failed. Unable to extract (x, y, yUnc) from list of points";
constexpr const char* kCoefficientRefusal =
    "PyArg_Parse() Failed. Unable to extract coefficient value from list of points";

// Written when the root finder or a payload list fails.
constexpr const char* kFindRootsFailed = "Failed call to findRoots";
constexpr const char* kListFailureText = "PyList_New() Failed. Unable to allocated list instance";

// The inner guard's texts for an allocation failure: those of the runtime that
// the messages were first written with, as other runtimes word what()
// differently.
constexpr const char* kBadAllocation = "bad allocation";
constexpr const char* kBadArrayNewLength = "bad array new length";

// What the outer guard hands to the diagnostic hook.
constexpr const char* kCaughtException = "Caught exception";
constexpr const char* kEmptyErrorString = "Exception thrown with empty Error String";
constexpr const char* kCaughtStlException = "Caught STL Exception.  Description: ";
constexpr const char* kCaughtUnknownException = "Caught Unknown exception.";

}  // namespace tallowfit

#endif
