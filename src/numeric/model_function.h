// How the solvers evaluate any model: a plain function pointer called once per
// point and pass with the coefficients and, when wanted, room for the partial
// derivatives.
#ifndef TALLOWFIT_NUMERIC_MODEL_FUNCTION_H
#define TALLOWFIT_NUMERIC_MODEL_FUNCTION_H

#include <cstdint>

#include "numeric/work_sharing.h"

namespace tallowfit {

struct ModelEvaluation {
    const double* parameters;  // c[0] .. c[count-1]
    double* derivatives;       // dy/dc[k] for every k, or null for the value only
    int32_t count;
};

// kStatusOk when *y (and the derivatives, when asked for) are stored,
// kStatusInvalidArgument when the model cannot be evaluated at x.
typedef int32_t (*ModelFunction)(double x, const ModelEvaluation* evaluation, double* y);

// A model function split at what depends on the point alone. A fit evaluates
// the model at the same x in every pass; the logarithms, roots and powers of x
// that it would compute again each time, from the same arguments by the same
// library calls, are computed once per point into a record instead, so the
// values are the same to the bit and only the remainder is repeated.
struct PointInvariantModel {
    // The record may read c[0] .. c[heldPrefix-1]; it stays valid only while
    // the fit holds them.
    uint32_t heldPrefix;
    // Stores the record of x (count doubles at most) and returns the status
    // the model function gives at x: its refusals depend on x, the count and
    // the held coefficients only.
    int32_t (*prepare)(double x, const ModelEvaluation* evaluation, double* record);
    // What the model function stores in *y, without derivatives, at a point
    // whose record was prepared without refusal.
    double (*value)(const double* record, const double* parameters, int32_t count);
    // What the model function stores in *y and the derivatives at each of
    // `count` points whose records, `width` doubles apart, were prepared
    // without refusal: values[i], and the count derivatives from
    // derivatives + i*count. A run of points per call keeps the model's steps
    // inlined in one loop.
    void (*evaluate)(const double* records, uint32_t count, uint32_t width,
                     const double* parameters, int32_t coefficientCount, double* values,
                     double* derivatives);
};

// Records are kept for up to this many coefficients: 64 bytes a point at
// most, about what the point's three floats take in the caller's list.
constexpr uint32_t kMaxRecordedCoefficients = 8;

// The records of a fit's points, one after another, each prepared without
// refusal: what every pass over the points reads instead of x.
struct PointRecords {
    const PointInvariantModel* split;
    const double* records;
    uint32_t width;              // doubles a record
    const WorkSharing* sharing;  // a second thread for the passes, or null
    // The first point that a curvature pass hands the other thread: the
    // point count when it hands none. Room for what the other thread
    // evaluates, the values and then the width derivatives of each point
    // from there on, and a flag for each chunk of those points.
    uint32_t handStart;
    double* handed;
    std::atomic<bool>* evaluated;
};

}  // namespace tallowfit

#endif
