#include "fit/models.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "fit/messages.h"
#include "numeric/power_series.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

// ln 10: d(10^S)/dS = ln 10 * 10^S.
constexpr double kLn10 = 2.302585092994046;

bool isIncomplete(const ModelEvaluation* evaluation, const double* y, int32_t minimumCount) {
    return evaluation == nullptr || y == nullptr || evaluation->count < minimumCount;
}

// pow(base, k). pow(base, 0) is 1 for every base, NaN included (C99 F.9.4.4),
// so it needs no call.
double powerOf(double base, int32_t k) {
    return k == 0 ? 1.0 : std::pow(base, static_cast<double>(k));
}

// p[i] = pow(base, firstExponent + i) for i = 0 .. count-1.
void storePowers(double* p, int32_t count, double base, int32_t firstExponent) {
    for (int32_t i = 0; i < count; ++i) p[i] = powerOf(base, firstExponent + i);
}

// d[i] = p[i]*factor for i = 0 .. count-1; d may be p.
void storeScaled(double* d, const double* p, int32_t count, double factor) {
    for (int32_t i = 0; i < count; ++i) d[i] = p[i] * factor;
}

// Each of the four models below is written as the steps that depend on x
// alone and the steps that use the coefficients; its model function runs both,
// its split form stores the first in a point's record once per fit.

// LogInverse: S = sum of c[k]*power(k) term by term, y = pow(10, S),
// d[k] = power(k)*ln 10*y, with power(k) = pow(1/x, k-1).
bool refusesLogInverse(double x, const ModelEvaluation* evaluation, const double* y) {
    return isIncomplete(evaluation, y, 1) || x <= 0.0;
}

template <typename Power>
void logInverseFromPowers(Power power, const ModelEvaluation* evaluation, double* y) {
    const int32_t n = evaluation->count;
    const double* c = evaluation->parameters;
    double exponent = 0.0;
    for (int32_t k = 0; k < n; ++k) exponent = exponent + c[k] * power(k);
    *y = std::pow(10.0, exponent);
    double* d = evaluation->derivatives;
    if (d)
        for (int32_t k = 0; k < n; ++k) d[k] = power(k) * kLn10 * *y;
}

// Record: power(k) for each k but k = 1, whose power is 1 without a call; its
// slot keeps 1/x itself, the x of the transformed space.
int32_t prepareLogInverse(double x, const ModelEvaluation* evaluation, double* record) {
    if (refusesLogInverse(x, evaluation, record)) return kStatusInvalidArgument;
    const double r = 1.0 / x;
    storePowers(record, evaluation->count, r, -1);
    if (evaluation->count > 1) record[1] = r;
    return kStatusOk;
}

void evaluateLogInverse(const double* record, const ModelEvaluation* evaluation, double* y) {
    logInverseFromPowers([record](int32_t k) { return k == 1 ? 1.0 : record[k]; }, evaluation,
                         y);
}

// The model function's value without derivatives: its powers are the record's.
double logInverseValue(const double* record, const double* parameters, int32_t count) {
    const ModelEvaluation evaluation = {parameters, nullptr, count};
    double y = 0.0;
    evaluateLogInverse(record, &evaluation, &y);
    return y;
}

// LogLog: t = ln x; y = exp(P(t)), P the power series in t;
// d[k] = pow(t, k)*y.
bool refusesLogLog(double t, const ModelEvaluation* evaluation, const double* y) {
    return isIncomplete(evaluation, y, 1) || t <= 0.0;
}

double logLogValue(double t, const ModelEvaluation* evaluation) {
    return std::exp(hornerFrom(evaluation->parameters, 0, evaluation->count, t));
}

// Record: t, then pow(t, k) for k = 1 .. n-1; pow(t, 0) is 1 with no call,
// and d[0] = 1*y as the model function computes it.
int32_t prepareLogLog(double x, const ModelEvaluation* evaluation, double* record) {
    const double t = std::log(x);
    if (refusesLogLog(t, evaluation, record)) return kStatusInvalidArgument;
    record[0] = t;
    storePowers(record + 1, evaluation->count - 1, t, 1);
    return kStatusOk;
}

double logLogRecordValue(const double* record, const double* parameters, int32_t count) {
    const ModelEvaluation evaluation = {parameters, nullptr, count};
    return logLogValue(record[0], &evaluation);
}

void evaluateLogLog(const double* record, const ModelEvaluation* evaluation, double* y) {
    *y = logLogValue(record[0], evaluation);
    evaluation->derivatives[0] = 1.0 * *y;
    storeScaled(evaluation->derivatives + 1, record + 1, evaluation->count - 1, *y);
}

// LogRatio: L = ln(c[0]/x); y = exp(polynomial in L over c[1] .. c[n-1]);
// d[0] = 1, a placeholder, since c[0] is the reference x that no fit adjusts;
// d[k] = pow(L, k-1)*y.
bool refusesLogRatio(double x, const ModelEvaluation* evaluation, const double* y) {
    return isIncomplete(evaluation, y, 2) || x == 0.0;
}

double logRatioValue(double ratioLog, const ModelEvaluation* evaluation) {
    return std::exp(hornerFrom(evaluation->parameters, 1, evaluation->count, ratioLog));
}

// Record: L, then pow(L, k-1) for k = 1 .. n-1.
int32_t prepareLogRatio(double x, const ModelEvaluation* evaluation, double* record) {
    if (refusesLogRatio(x, evaluation, record)) return kStatusInvalidArgument;
    record[0] = std::log(evaluation->parameters[0] / x);
    storePowers(record + 1, evaluation->count - 1, record[0], 0);
    return kStatusOk;
}

double logRatioRecordValue(const double* record, const double* parameters, int32_t count) {
    const ModelEvaluation evaluation = {parameters, nullptr, count};
    return logRatioValue(record[0], &evaluation);
}

void evaluateLogRatio(const double* record, const ModelEvaluation* evaluation, double* y) {
    *y = logRatioValue(record[0], evaluation);
    evaluation->derivatives[0] = 1.0;
    storeScaled(evaluation->derivatives + 1, record + 1, evaluation->count - 1, *y);
}

// HalfPower: s = sqrt(x); y = the polynomial in s, d[0] = 1, d[k] = s*d[k-1].
// Record: s, then d[1] .. d[n-1], each the same product of the same factors.
bool refusesHalfPower(double x, const ModelEvaluation* evaluation, const double* y) {
    return isIncomplete(evaluation, y, 1) || x < 0.0;
}

int32_t prepareHalfPower(double x, const ModelEvaluation* evaluation, double* record) {
    if (refusesHalfPower(x, evaluation, record)) return kStatusInvalidArgument;
    const int32_t n = evaluation->count;
    record[0] = std::sqrt(x);
    if (n > 1) record[1] = record[0] * 1.0;
    continueGeometric(record, 1, n, record[0]);
    return kStatusOk;
}

double halfPowerValue(const double* record, const double* parameters, int32_t count) {
    return hornerFrom(parameters, 0, count, record[0]);
}

void evaluateHalfPower(const double* record, const ModelEvaluation* evaluation, double* y) {
    *y = halfPowerValue(record, evaluation->parameters, evaluation->count);
    evaluation->derivatives[0] = 1.0;
    for (int32_t k = 1; k < evaluation->count; ++k) evaluation->derivatives[k] = record[k];
}

// A split form's evaluation over a run of points, one point's at a time.
// The usual coefficient counts are constants in the loop, which the compiler
// then unrolls; every step stays as it is.
template <void (*evaluateOne)(const double*, const ModelEvaluation*, double*)>
void evaluateRun(const double* records, uint32_t count, uint32_t width, const double* parameters,
                 int32_t coefficientCount, double* values, double* derivatives) {
    auto run = [&](int32_t n) {
        for (uint32_t i = 0; i < count; ++i) {
            const ModelEvaluation evaluation = {
                parameters, derivatives + std::size_t{i} * static_cast<uint32_t>(n), n};
            evaluateOne(records + std::size_t{i} * width, &evaluation, values + i);
        }
    };
    switch (coefficientCount) {
        case 2: run(2); break;
        case 3: run(3); break;
        case 4: run(4); break;
        default: run(coefficientCount);
    }
}

// The records read c[0] of LogRatio only, which its fits hold.
const PointInvariantModel kLogInverseSplit = {0, prepareLogInverse, logInverseValue,
                                              evaluateRun<evaluateLogInverse>};
const PointInvariantModel kLogLogSplit = {0, prepareLogLog, logLogRecordValue,
                                          evaluateRun<evaluateLogLog>};
const PointInvariantModel kLogRatioSplit = {1, prepareLogRatio, logRatioRecordValue,
                                            evaluateRun<evaluateLogRatio>};
const PointInvariantModel kHalfPowerSplit = {0, prepareHalfPower, halfPowerValue,
                                             evaluateRun<evaluateHalfPower>};

}  // namespace

// y = 10^(c[0]*x + c[1] + c[2]/x + ...). Every term, the first included, is
// c[k]*pow(1/x, k-1) by its own pow call: pow(1/x, -1) and x can differ in the
// last bit, and the results are fixed to the bit.
int32_t evalLogInverse(double x, const ModelEvaluation* evaluation, double* y) {
    if (refusesLogInverse(x, evaluation, y)) return kStatusInvalidArgument;
    double* d = evaluation->derivatives;
    if (d) {
        // The powers wait in the derivatives, each scaled in place at the end.
        storePowers(d, evaluation->count, 1.0 / x, -1);
        logInverseFromPowers([d](int32_t k) { return d[k]; }, evaluation, y);
    } else {
        const double r = 1.0 / x;
        logInverseFromPowers([r](int32_t k) { return powerOf(r, k - 1); }, evaluation, y);
    }
    return kStatusOk;
}

// y = exp(polynomial in ln x); defined only where ln x > 0, that is x > 1.
int32_t evalLogLog(double x, const ModelEvaluation* evaluation, double* y) {
    const double t = std::log(x);
    if (refusesLogLog(t, evaluation, y)) return kStatusInvalidArgument;
    *y = logLogValue(t, evaluation);
    double* d = evaluation->derivatives;
    if (d) {
        storePowers(d, evaluation->count, t, 0);
        storeScaled(d, d, evaluation->count, *y);
    }
    return kStatusOk;
}

// y = exp(polynomial in L = ln(c[0]/x)) over c[1] .. c[n-1].
int32_t evalLogRatio(double x, const ModelEvaluation* evaluation, double* y) {
    if (refusesLogRatio(x, evaluation, y)) return kStatusInvalidArgument;
    const double ratioLog = std::log(evaluation->parameters[0] / x);
    *y = logRatioValue(ratioLog, evaluation);
    double* d = evaluation->derivatives;
    if (d) {
        d[0] = 1.0;
        storePowers(d + 1, evaluation->count - 1, ratioLog, 0);
        storeScaled(d + 1, d + 1, evaluation->count - 1, *y);
    }
    return kStatusOk;
}

// A polynomial in sqrt(x).
int32_t evalHalfPower(double x, const ModelEvaluation* evaluation, double* y) {
    if (refusesHalfPower(x, evaluation, y)) return kStatusInvalidArgument;
    return evalPowerSeries(std::sqrt(x), evaluation, y);
}

// y = sqrt(polynomial in x); the derivatives need a nonzero root.
int32_t evalRootPolynomial(double x, const ModelEvaluation* evaluation, double* y) {
    if (isIncomplete(evaluation, y, 1)) return kStatusInvalidArgument;
    double polynomial = 0.0;
    evalPowerSeries(x, evaluation, &polynomial);
    if (polynomial < 0.0) return kStatusInvalidArgument;
    *y = std::sqrt(polynomial);
    double* d = evaluation->derivatives;
    if (d) {
        if (*y == 0.0) return kStatusInvalidArgument;
        d[0] = 1.0 / (2.0 * *y);
        continueGeometric(d, 0, evaluation->count, x);
    }
    return kStatusOk;
}

// u = c[0]/t + c[1] + t*(c[2] + t*(... + t*c[n-1])) with t = 1/x, u = log10(y).
int32_t evalLogInverseTransformed(double t, const ModelEvaluation* evaluation, double* y) {
    if (isIncomplete(evaluation, y, 1) || t == 0.0) return kStatusInvalidArgument;
    const int32_t n = evaluation->count;
    const double* c = evaluation->parameters;
    double value = c[0] / t;
    if (n > 1) value = value + c[1];
    if (n > 2) value = value + t * hornerFrom(c, 2, n, t);
    *y = value;
    double* d = evaluation->derivatives;
    if (d) {
        d[0] = 1.0 / t;
        if (n > 1) {
            d[1] = 1.0;
            continueGeometric(d, 1, n, t);
        }
    }
    return kStatusOk;
}

// u = polynomial in t = ln x, u = ln y; t must be positive like ln x in data space.
int32_t evalLogLogTransformed(double t, const ModelEvaluation* evaluation, double* y) {
    if (isIncomplete(evaluation, y, 1) || t <= 0.0) return kStatusInvalidArgument;
    return evalPowerSeries(t, evaluation, y);
}

// u = polynomial over c[1] .. c[n-1] in t = ln(c[0]/x); with c[0] alone the
// polynomial is empty and u is 0.
int32_t evalLogRatioTransformed(double t, const ModelEvaluation* evaluation, double* y) {
    if (isIncomplete(evaluation, y, 1)) return kStatusInvalidArgument;
    const int32_t n = evaluation->count;
    *y = n > 1 ? hornerFrom(evaluation->parameters, 1, n, t) : 0.0;
    double* d = evaluation->derivatives;
    if (d) {
        d[0] = 0.0;
        if (n > 1) {
            d[1] = 1.0;
            continueGeometric(d, 1, n, t);
        }
    }
    return kStatusOk;
}

ModelFunction dataModelFunction(ModelId id) {
    switch (id) {
        case LogInverse: return evalLogInverse;
        case LogLog: return evalLogLog;
        case LogRatio: return evalLogRatio;
        case HalfPower: return evalHalfPower;
        case RootPolynomial: return evalRootPolynomial;
        case Polynomial: return evalPowerSeries;
        default: throw std::invalid_argument(kNoModelFunction);
    }
}

const PointInvariantModel* dataModelSplit(ModelId id) {
    switch (id) {
        case LogInverse: return &kLogInverseSplit;
        case LogLog: return &kLogLogSplit;
        case LogRatio: return &kLogRatioSplit;
        case HalfPower: return &kHalfPowerSplit;
        default: return nullptr;
    }
}

ModelFunction transformedModelFunction(ModelId id) {
    switch (id) {
        case LogInverse: return evalLogInverseTransformed;
        case LogLog: return evalLogLogTransformed;
        case LogRatio: return evalLogRatioTransformed;
        case HalfPower:
        case RootPolynomial:
        case Polynomial: return evalPowerSeries;
        default: throw std::invalid_argument(kNoModelFunction);
    }
}

}  // namespace tallowfit
