// optimizeModel and optimizeDualModel: fits of measured points, returned as
// five-item fit lists.
#include "module/module_entries.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fit/fit_report.h"
#include "fit/messages.h"
#include "module/argument_reading.h"
#include "module/module_frame.h"

namespace tallowfit {

namespace {

const EntryDescription kOptimizeModelEntry = {"tallowfit_optimizeModel", nullptr};
const EntryDescription kOptimizeDualModelEntry = {"tallowfit_optimizeDualModel", nullptr};

struct ModelArguments {
    PointVector<DataPoint> points;
    ModelId modelId = 0;
    int32_t order = 0;
    FitOptions options;
};

struct DualModelArguments {
    PointVector<DataPoint> points;
    float threshold = 0.0f;
    int32_t lowerOrder = 0;
    int32_t upperOrder = 0;
    FitOptions options;
};

// Each point is (x, y, yUnc) in single precision, widened to double; the fit
// sees the values that single precision can hold.
const char* readPoints(PyObject* list, PointVector<DataPoint>& points) {
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
    int32_t flags = 0;
    if (!parseSucceeded(
            PyArg_Parse(args, "(Oiii)", &list, &arguments.modelId, &arguments.order, &flags))) {
        return kOptimizeModelUsage;
    }
    arguments.options = FitOptions(flags);
    return readPoints(list, arguments.points);
}

const char* readDualModelArguments(PyObject* args, DualModelArguments& arguments) {
    PyObject* list = nullptr;
    int32_t flags = 0;
    if (!parseSucceeded(PyArg_Parse(args, "(Ofiii)", &list, &arguments.threshold,
                                    &arguments.lowerOrder, &arguments.upperOrder, &flags))) {
        return kOptimizeDualModelUsage;
    }
    arguments.options = FitOptions(flags);
    return readPoints(list, arguments.points);
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

void addCovariance(PyObject* result, const std::vector<std::vector<double>>& rows) {
    PyObject* outer = newResultListAt(result, 1, static_cast<Py_ssize_t>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        PyObject* row =
            newResultListAt(outer, static_cast<Py_ssize_t>(i), static_cast<Py_ssize_t>(rows[i].size()));
        for (size_t j = 0; j < rows[i].size(); ++j) {
            setFloatItem(row, static_cast<Py_ssize_t>(j), rows[i][j]);
        }
    }
}

// The places of a new tuple or list are empty and in range, so an item goes
// in directly, without the checks of PyTuple_SetItem and PyList_SetItem.
void setTupleFloat(PyObject* tuple, Py_ssize_t index, double value) {
    PyTuple_SET_ITEM(tuple, index, requireObject(makeFloat(value)));
}

// One (x, y, yUnc, deviation) tuple per deviation record, in its order.
void addDeviations(PyObject* result, const PointVector<PointDeviation>& deviations) {
    PyObject* list = requireObject(makeList(static_cast<Py_ssize_t>(deviations.size())));
    PyList_SetItem(result, 4, list);
    // While it fills, the collections that its new tuples trigger would visit
    // every item placed so far, again and again; it holds nothing they could
    // find in a cycle, and is tracked as a list must be once it is full.
    PyObject_GC_UnTrack(list);
    for (size_t k = 0; k < deviations.size(); ++k) {
        PyObject* tuple = requireObject(makeTuple(4));
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), tuple);
        setTupleFloat(tuple, 0, deviations[k].x);
        setTupleFloat(tuple, 1, deviations[k].y);
        setTupleFloat(tuple, 2, deviations[k].yUnc);
        setTupleFloat(tuple, 3, deviations[k].deviation);
        // A tuple of floats can be part of no cycle; the collector would find
        // that out by traversing it and untrack it then. Untracked at once, a
        // long run of tuples costs the collections triggered meanwhile nothing.
        PyObject_GC_UnTrack(tuple);
    }
    PyObject_GC_Track(list);
}

// The average error, or its refusal raised at its place in the list. The
// report is finished before the first object is made, but the refusal still
// comes after the items before it, so that failing to make one of those wins
// over the refusal, as when the figures were taken while the list was built.
// Only memory running out while the deviations are stored now meets the call
// before the list does; no object is made by then.
void addAverageError(PyObject* result, const FitReport& report) {
    if (report.averageErrorRefusal != nullptr) throw std::runtime_error(report.averageErrorRefusal);
    setFloatItem(result, 3, report.averageError);
}

// The five-item fit list: coefficients, covariance rows, reduced chi-square,
// average error and deviations. handOver(list) takes the list as soon as it
// exists.
template <typename HandOver>
void buildFitResultList(const FitReport& report, HandOver handOver) {
    PyObject* result = newResultList(5);
    handOver(result);
    addCoefficients(result, report.coefficients);
    addCovariance(result, report.covariance);
    setFloatItem(result, 2, report.reducedChiSquare);
    addAverageError(result, report);
    addDeviations(result, report.deviations);
}

void fitOneModel(const ModelArguments& arguments, PyObject*& payload) {
    const FitReport report =
        reportModelFit(arguments.points, arguments.modelId, arguments.order, arguments.options);
    buildFitResultList(report, [&payload](PyObject* list) { payload = list; });
}

// [lower, upper], or [upper] when the lower range had no points.
void fitDualRanges(const DualModelArguments& arguments, PyObject*& payload) {
    const DualFitReport report =
        reportDualFit(arguments.points, arguments.threshold, arguments.lowerOrder,
                      arguments.upperOrder, arguments.options);
    const Py_ssize_t count = report.hasLower ? 2 : 1;
    PyObject* fitLists = requireObject(makeList(count));
    payload = fitLists;
    const auto placeAt = [fitLists](Py_ssize_t k) {
        return [fitLists, k](PyObject* list) { PyList_SetItem(fitLists, k, list); };
    };
    if (report.hasLower) buildFitResultList(report.lower, placeAt(0));
    buildFitResultList(report.upper, placeAt(count - 1));
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
