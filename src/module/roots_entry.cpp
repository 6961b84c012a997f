// findRoots: the roots of a polynomial given by its coefficients, as Python
// floats (real roots) and complex numbers.
#include "module/module_entries.h"

#include <cstdint>
#include <vector>

#include "fit/messages.h"
#include "module/argument_reading.h"
#include "module/module_frame.h"
#include "numeric/polynomial_roots.h"

namespace tallowfit {

namespace {

const EntryDescription kFindRootsEntry = {"tallowfit_findRoots", kFindRootsFailed};

// The coefficients in list order, and room for the root finder's answer: one
// element per coefficient, so one more than there are roots.
struct RootArrays {
    std::vector<double> coefficients;
    std::vector<double> realParts;
    std::vector<double> imagParts;
};

// Null, or the message of the parse that failed.
const char* readCoefficients(PyObject* args, RootArrays& arrays) {
    PyObject* list = nullptr;
    if (!parseSucceeded(PyArg_Parse(args, "(O)", &list))) {
        return kFindRootsUsage;
    }
    const Py_ssize_t length = listLength(list);
    reserveRead(arrays.coefficients, length);
    reserveRead(arrays.realParts, length);
    reserveRead(arrays.imagParts, length);
    for (Py_ssize_t k = 0; k < length; ++k) {
        double coefficient = 0.0;
        const auto readExact = [&coefficient](PyObject* item) {
            return readExactNumber(item, &coefficient);
        };
        const auto parse = [&coefficient](PyObject* item) {
            return PyArg_Parse(item, "d", &coefficient);
        };
        if (!readListItem(list, k, readExact, parse)) {
            return kCoefficientRefusal;
        }
        appendRead(arrays.coefficients, coefficient);
        appendRead(arrays.realParts, 0.0);
        appendRead(arrays.imagParts, 0.0);
    }
    return nullptr;
}

// A root whose imaginary part compares equal to 0.0 (either sign, not a NaN)
// is real and becomes a float; any other becomes a complex.
PyObject* makeRoot(double realPart, double imagPart) {
    return imagPart == 0.0 ? makeFloat(realPart) : makeComplex(realPart, imagPart);
}

// A root finder's failure is thrown as its status for the inner guard to
// report. A root that cannot be made ends the call with kStatusOutOfMemory,
// like a list that cannot be made.
void computeRoots(RootArrays& arrays, PyObject*& payload) {
    const int32_t count = static_cast<int32_t>(arrays.coefficients.size());
    const int32_t status = computePolynomialRoots(arrays.coefficients.data(), count,
                                                  arrays.realParts.data(), arrays.imagParts.data());
    if (status != kStatusOk) {
        throw static_cast<unsigned int>(status);
    }
    PyObject* roots = newResultList(count - 1);
    payload = roots;
    for (int32_t k = 0; k < count - 1; ++k) {
        PyList_SetItem(roots, k, requireObject(makeRoot(arrays.realParts[k], arrays.imagParts[k])));
    }
}

}  // namespace

PyObject* findRoots(PyObject* /*self*/, PyObject* args) {
    RootArrays arrays;
    return runEntry(
        kFindRootsEntry, [&]() { return readCoefficients(args, arrays); },
        [&](PyObject*& payload) { computeRoots(arrays, payload); });
}

}  // namespace tallowfit
