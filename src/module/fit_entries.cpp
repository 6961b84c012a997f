// optimizeModel and optimizeDualModel: fits of measured points, returned as
// five-item fit lists.
#include "module_entries.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "argument_reading.h"
#include "fit/dual_model.h"
#include "fit/fit_driver.h"
#include "fit/fit_statistics.h"
#include "fit/models.h"
#include "module_frame.h"

namespace tallowfit {

namespace {

const EntryDescription kOptimizeModelEntry = {"tallowfit_optimizeModel", nullptr};
const EntryDescription kOptimizeDualModelEntry = {"tallowfit_optimizeDualModel", nullptr};

const char* const kOptimizeModelUsage =
    "optimizeForModel() Failed. Check number of or type of arguments passed.  This method's "
    "argument list should be (list, int32_t, int32_t, int32_t)";
const char* const kOptimizeDualModelUsage =
    "optimizeDualModel() Failed. Check number of or type of arguments passed.  This method's "
    "argument list should be (list, float, int32_t, int32_t, int32_t)";
const char* const kPointRefusal =
    "PyArg_Parse() Failed. Unable to extract (x, y, yUnc) from list of points";
const char* const kDualRefusal =
    "This method does not support optimizing the 'Dual' mathematical model.  Please invoke "
    "'optimizeDualModel' instead. ";

struct ModelArguments {
    std::vector<DataPoint> points;
    ModelId modelId = 0;
    int32_t order = 0;
    int32_t flags = 0;
};

struct DualModelArguments {
    std::vector<DataPoint> points;
    float threshold = 0.0f;
    int32_t lowerOrder = 0;
    int32_t upperOrder = 0;
    int32_t flags = 0;
};

// Each point is (x, y, yUnc) in single precision, widened to double; the fit
// sees the values that single precision can hold.
const char* readPoints(PyObject* list, std::vector<DataPoint>& points) {
    const Py_ssize_t length = listLength(list);
    reserveRead(points, length);
    for (Py_ssize_t k = 0; k < length; ++k) {
        float x = 0.0f;
        float y = 0.0f;
        float yUnc = 0.0f;
        if (!readListItem(
                list, k, [&](PyObject* item) { return readExactPoint(item, &x, &y, &yUnc); },
                [&](PyObject* item) { return PyArg_Parse(item, "(fff)", &x, &y, &yUnc); })) {
            return kPointRefusal;
        }
        appendRead(points, DataPoint{x, 0.0, y, yUnc});
    }
    return nullptr;
}

const char* readModelArguments(PyObject* args, ModelArguments& arguments) {
    PyObject* list = nullptr;
    if (!parseSucceeded(PyArg_Parse(args, "(Oiii)", &list, &arguments.modelId, &arguments.order,
                                    &arguments.flags))) {
        return kOptimizeModelUsage;
    }
    return readPoints(list, arguments.points);
}

const char* readDualModelArguments(PyObject* args, DualModelArguments& arguments) {
    PyObject* list = nullptr;
    if (!parseSucceeded(PyArg_Parse(args, "(Ofiii)", &list, &arguments.threshold,
                                    &arguments.lowerOrder, &arguments.upperOrder,
                                    &arguments.flags))) {
        return kOptimizeDualModelUsage;
    }
    return readPoints(list, arguments.points);
}

// The reduced chi-square stands in for the unknown scale of the uncertainties
// only when no point brought one (flag 32 and every yUnc 0.0, which holds for
// no points at all); otherwise the covariance is returned as fitted.
double covarianceFactor(const std::vector<DataPoint>& points, const FitResult& fit, int32_t flags) {
    const auto zeroUncertainties = std::count_if(
        points.begin(), points.end(), [](const DataPoint& point) { return point.yUnc == 0.0; });
    const bool allZero = static_cast<size_t>(zeroUncertainties) == points.size();
    return (flags & kFitAllowZeroUncertainty) != 0 && allZero ? fit.covariance.reducedChiSquare
                                                              : 1.0;
}

// Every container is put in its place the moment it exists, so that whatever
// fails later releases it with the payload.
void setFloatItem(PyObject* list, Py_ssize_t index, double value) {
    PyList_SetItem(list, index, requireObject(makeFloat(value)));
}

PyObject* newResultListAt(PyObject* parent, Py_ssize_t index, Py_ssize_t size) {
    PyObject* list = newResultList(size);
    PyList_SetItem(parent, index, list);
    return list;
}

void addCoefficients(PyObject* result, const std::vector<double>& coefficients) {
    PyObject* list = newResultListAt(result, 0, static_cast<Py_ssize_t>(coefficients.size()));
    for (size_t k = 0; k < coefficients.size(); ++k) {
        setFloatItem(list, static_cast<Py_ssize_t>(k), coefficients[k]);
    }
}

void addCovariance(PyObject* result, const std::vector<std::vector<double>>& rows, double factor) {
    PyObject* outer = newResultListAt(result, 1, static_cast<Py_ssize_t>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        PyObject* row =
            newResultListAt(outer, static_cast<Py_ssize_t>(i), static_cast<Py_ssize_t>(rows[i].size()));
        for (size_t j = 0; j < rows[i].size(); ++j) {
            setFloatItem(row, static_cast<Py_ssize_t>(j), factor * rows[i][j]);
        }
    }
}

void setTupleFloat(PyObject* tuple, Py_ssize_t index, double value) {
    PyTuple_SetItem(tuple, index, requireObject(makeFloat(value)));
}

// One (x, y, yUnc, deviation) tuple per deviation record, in its order.
void addDeviations(PyObject* result, const std::vector<PointDeviation>& deviations) {
    PyObject* list = requireObject(makeList(static_cast<Py_ssize_t>(deviations.size())));
    PyList_SetItem(result, 4, list);
    for (size_t k = 0; k < deviations.size(); ++k) {
        PyObject* tuple = requireObject(makeTuple(4));
        PyList_SetItem(list, static_cast<Py_ssize_t>(k), tuple);
        setTupleFloat(tuple, 0, deviations[k].x);
        setTupleFloat(tuple, 1, deviations[k].y);
        setTupleFloat(tuple, 2, deviations[k].yUnc);
        setTupleFloat(tuple, 3, deviations[k].deviation);
        // A tuple of floats can be part of no cycle; the collector would find
        // that out by traversing it and untrack it then. Untracked at once, a
        // long run of tuples costs the collections triggered meanwhile nothing.
        PyObject_GC_UnTrack(tuple);
    }
}

// The five-item fit list: coefficients, covariance rows, reduced chi-square,
// average error and deviations, the last two over `points` with modelId.
// handOver(list) takes the list as soon as it exists.
template <typename HandOver>
void buildFitResultList(const std::vector<DataPoint>& points, ModelId modelId,
                        const FitResult& fit, int32_t flags, HandOver handOver) {
    PyObject* result = newResultList(5);
    handOver(result);
    addCoefficients(result, fit.coefficients);
    addCovariance(result, fit.covariance.rows, covarianceFactor(points, fit, flags));
    setFloatItem(result, 2, fit.covariance.reducedChiSquare);
    const FitStatistics statistics = computeFitStatistics(points, fit.coefficients, modelId, flags,
                                                            fit.pointRecords.tableFor(points.size()));
    setFloatItem(result, 3, statistics.averageError);
    addDeviations(result, statistics.deviations);
}

void fitOneModel(const ModelArguments& arguments, PyObject*& payload) {
    // Refused before any test of the fit, even for an empty point list.
    if (arguments.modelId == Dual) {
        throw std::invalid_argument(kDualRefusal);
    }
    const FitResult fit =
        fitModel(arguments.points, arguments.modelId, arguments.order, arguments.flags);
    buildFitResultList(arguments.points, arguments.modelId, fit, arguments.flags,
                       [&payload](PyObject* list) { payload = list; });
}

// One fit list per range fitted; the statistics of each use LogLog and the
// points of its own range: the lower range for the first of two fits, the
// upper range otherwise.
void fitDualRanges(const DualModelArguments& arguments, PyObject*& payload) {
    const double threshold = arguments.threshold;
    const std::vector<FitResult> fits =
        fitDualModel(arguments.points, threshold, arguments.lowerOrder, arguments.upperOrder,
                     arguments.flags);
    PyObject* fitLists = requireObject(makeList(static_cast<Py_ssize_t>(fits.size())));
    payload = fitLists;
    const ThresholdSplit split = splitAtThreshold(arguments.points, threshold);
    for (size_t k = 0; k < fits.size(); ++k) {
        const std::vector<DataPoint>& range =
            k == 0 && fits.size() == 2 ? split.lower : split.upper;
        buildFitResultList(range, LogLog, fits[k], arguments.flags, [fitLists, k](PyObject* list) {
            PyList_SetItem(fitLists, static_cast<Py_ssize_t>(k), list);
        });
    }
}

}  // namespace

PyObject* optimizeModel(PyObject* /*self*/, PyObject* args) {
    ModelArguments arguments;
    return runEntry(
        kOptimizeModelEntry, [&]() { return readModelArguments(args, arguments); },
        [&](PyObject*& payload) { fitOneModel(arguments, payload); });
}

PyObject* optimizeDualModel(PyObject* /*self*/, PyObject* args) {
    DualModelArguments arguments;
    return runEntry(
        kOptimizeDualModelEntry, [&]() { return readDualModelArguments(args, arguments); },
        [&](PyObject*& payload) { fitDualRanges(arguments, payload); });
}

}  // namespace tallowfit
