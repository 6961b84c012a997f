// Helpers of the C++ tests: held matrices, fit records, allocation failures.
#ifndef TALLOWFIT_TESTS_TEST_SUPPORT_H
#define TALLOWFIT_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/models.h"
#include "numeric/allocation.h"
#include "numeric/least_squares.h"
#include "numeric/status.h"

namespace tallowfit {

typedef std::vector<double> Values;
typedef std::vector<Values> Rows;
typedef std::vector<unsigned char> Mask;

struct Held {  // a matrix in vectors, seen by the routines through a row table
    Rows rows;
    std::vector<double*> table;
    explicit Held(const Rows& r) : rows(r) { for (auto& row : rows) table.push_back(row.data()); }
    RowMatrix matrix() { return rows.empty() ? nullptr : table.data(); }
};

inline DataPoint point(double x, double y, double yUnc) { return DataPoint{x, 0.0, y, yUnc}; }
inline bool near(double a, double b, double tolerance = 1e-13) { return std::abs(a - b) < tolerance; }
template <typename T>
bool near(const std::vector<T>& a, const std::vector<T>& b, double tolerance = 1e-13) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [=](const T& u, const T& v) { return near(u, v, tolerance); });
}

// c0 + c1 x + c2 x^2 ... (as many terms as coefficients), counting its calls.
inline long modelCalls = 0;
inline int32_t polynomialModel(double x, const ModelEvaluation* e, double* y) {
    ++modelCalls;
    double power = 1.0;
    *y = 0.0;
    for (int k = 0; k < e->count; ++k, power *= x)
        *y += e->parameters[k] * (e->derivatives ? e->derivatives[k] = power : power);
    return kStatusOk;
}

// The records of one fit with their own storage; the covariance starts as 9s.
struct FitRecords {
    Values x, y, yUnc, values;
    Mask mask;
    Held covariance;
    FitData data; FitParameters parameters; FitSolution solution;
    FitRecords(Values xs, Values ys, Values uncs, Values start, Mask fitMask)
        : x(xs), y(ys), yUnc(uncs), values(start), mask(fitMask),
          covariance(Rows(start.size(), Values(start.size(), 9.0))),
          data{x.data(), nullptr, y.data(), yUnc.data(), static_cast<uint32_t>(x.size())},
          parameters{values.data(), mask.data(), static_cast<uint32_t>(values.size())},
          solution{covariance.matrix(), -1.0, -1.0} {}
};

// attempt(0) unhindered, then attempt(k) failing the k-th of its allocations: none left.
template <typename Attempt>
void forEachAllocationFailure(Attempt attempt) {
    long made = 0;
    for (long k = 0; k <= made; ++k) {
        failAllocationAt(k);
        attempt(k);
        made = k ? made : allocationsMade();
        failAllocationAt(0);
        EXPECT_EQ(allocationsOutstanding(), 0) << "allocation " << k;
    }
    EXPECT_GT(made, 0);
}

// What a call ends with: "ok", the exception's kind and message, or the status.
template <typename Call>
std::string outcome(Call call) {
    try { return call(), "ok"; }
    catch (const std::invalid_argument& e) { return std::string("invalid_argument: ") + e.what(); }
    catch (const std::runtime_error& e) { return std::string("runtime_error: ") + e.what(); }
    catch (const std::bad_alloc&) { return "bad_alloc"; }
    catch (uint32_t status) { return "status " + std::to_string(static_cast<int32_t>(status)); }
}

}  // namespace tallowfit

#endif
