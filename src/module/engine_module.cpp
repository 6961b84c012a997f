// The array engine of the companion package: the fits and the root finder of
// the classic entries, reading their numbers from buffers, computing with the
// interpreter lock released, and returning (status, message, payload) with
// nothing written. Python 3 only.
#include <Python.h>

#include <cstdint>
#include <vector>

#include "fit/engine_report.h"
#include "fit/messages.h"
#include "module/buffer_reading.h"
#include "module/engine_frame.h"
#include "module/fault_injection.h"
#include "module/report_objects.h"
#include "numeric/polynomial_roots.h"

namespace tallowfit {

namespace {

const EntryDescription kFitEntry = {"_curvefits_engine_fit", nullptr};
const EntryDescription kFitDualEntry = {"_curvefits_engine_fit_dual", nullptr};
const EntryDescription kFindRootsEntry = {"_curvefits_engine_find_roots", kFindRootsFailed};

// (x, y, yunc, model, order, flags, double_precision[, second_thread=True])
//     -> (status, message, report or None)
PyObject* engineFit(PyObject* /*self*/, PyObject* args) {
    PyObject* columnObjects[3];
    ModelId modelId = 0;
    int order = 0;
    int flags = 0;
    int doublePrecision = 0;
    int secondThread = 1;
    PointColumns columns;
    if (!PyArg_ParseTuple(args, "OOOiiip|p:fit", &columnObjects[0], &columnObjects[1],
                          &columnObjects[2], &modelId, &order, &flags, &doublePrecision,
                          &secondThread) ||
        !columns.hold(columnObjects[0], columnObjects[1], columnObjects[2])) {
        return nullptr;
    }
    PointVector<DataPoint> points;
    FitReport report;
    PointTables tables;
    return runEngineEntry(
        kFitEntry, [&]() { readPoints(columns, doublePrecision != 0, points); },
        [&]() {
            report = reportModelFit(points, modelId, order, flags, secondThread != 0);
            releaseNow(points);
        },
        [&](PyObject*& payload) {
            payload = requireObject(makeTuple(5));
            fillReport(payload, report, tables);
        },
        [&]() {
            tables.fill();
            releaseNow(report.deviations);
        });
}

// (x, y, yunc, threshold, lower_order, upper_order, flags, double_precision
//  [, second_thread=True])
//     -> (status, message, (lower report or None, upper report) or None)
PyObject* engineFitDual(PyObject* /*self*/, PyObject* args) {
    PyObject* columnObjects[3];
    double threshold = 0.0;
    int lowerOrder = 0;
    int upperOrder = 0;
    int flags = 0;
    int doublePrecision = 0;
    int secondThread = 1;
    PointColumns columns;
    if (!PyArg_ParseTuple(args, "OOOdiiip|p:fit_dual", &columnObjects[0], &columnObjects[1],
                          &columnObjects[2], &threshold, &lowerOrder, &upperOrder, &flags,
                          &doublePrecision, &secondThread) ||
        !columns.hold(columnObjects[0], columnObjects[1], columnObjects[2])) {
        return nullptr;
    }
    threshold = asRead(threshold, doublePrecision != 0);
    PointVector<DataPoint> points;
    DualFitReport report;
    PointTables tables;
    return runEngineEntry(
        kFitDualEntry, [&]() { readPoints(columns, doublePrecision != 0, points); },
        [&]() {
            report = reportDualFit(points, threshold, lowerOrder, upperOrder, flags,
                                   secondThread != 0);
            releaseNow(points);
        },
        [&](PyObject*& payload) {
            payload = requireObject(makeTuple(2));
            if (report.hasLower) {
                fillReport(placeTuple(payload, 0, 5), report.lower, tables);
            } else {
                PyTuple_SetItem(payload, 0, orNone(nullptr));
            }
            fillReport(placeTuple(payload, 1, 5), report.upper, tables);
        },
        [&]() {
            tables.fill();
            releaseNow(report.lower.deviations);
            releaseNow(report.upper.deviations);
        });
}

// (coefficients) -> (status, message, (real parts, imaginary parts) or None)
PyObject* engineFindRoots(PyObject* /*self*/, PyObject* args) {
    PyObject* coefficientObject = nullptr;
    BufferColumn column;
    if (!PyArg_ParseTuple(args, "O:find_roots", &coefficientObject) ||
        !column.hold(coefficientObject, "coefficients")) {
        return nullptr;
    }
    // Room for the root finder's answer: one element per coefficient.
    std::vector<double> coefficients;
    std::vector<double> realParts;
    std::vector<double> imagParts;
    return runEngineEntry(
        kFindRootsEntry,
        [&]() {
            readValues(column, coefficients);
            realParts.assign(coefficients.size(), 0.0);
            imagParts.assign(coefficients.size(), 0.0);
        },
        [&]() {
            const int32_t status =
                computePolynomialRoots(coefficients.data(), static_cast<int32_t>(coefficients.size()),
                                       realParts.data(), imagParts.data());
            if (status != kStatusOk) {
                throw static_cast<unsigned int>(status);
            }
        },
        [&](PyObject*& payload) {
            const Py_ssize_t count = static_cast<Py_ssize_t>(coefficients.size()) - 1;
            payload = requireObject(makeTuple(2));
            placeDoubles(payload, 0, realParts.data(), count);
            placeDoubles(payload, 1, imagParts.data(), count);
        },
        []() {});
}

PyMethodDef engineMethods[] = {
    {"fit", engineFit, METH_VARARGS, nullptr},
    {"fit_dual", engineFitDual, METH_VARARGS, nullptr},
    {"find_roots", engineFindRoots, METH_VARARGS, nullptr},
    TALLOWFIT_FAULT_CONTROL_METHODS
    {nullptr, nullptr, 0, nullptr},
};

// No per-module state: every call keeps its data to itself.
PyModuleDef engineDefinition = {
    PyModuleDef_HEAD_INIT, "_curvefits_engine", nullptr, -1, engineMethods, nullptr, nullptr,
    nullptr, nullptr,
};

}  // namespace

}  // namespace tallowfit

// The init function is the module's only export; PyMODINIT_FUNC makes it
// visible only from Python 3.9 on, so it is marked here for every version.
#pragma GCC visibility push(default)
PyMODINIT_FUNC PyInit__curvefits_engine(void) {
    return PyModule_Create(&tallowfit::engineDefinition);
}
#pragma GCC visibility pop
