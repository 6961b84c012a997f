#include "module/buffer_reading.h"

#include "module/argument_reading.h"

namespace tallowfit {

namespace {

// The item code of a format that describes native float64 or float32 items
// ('d' or 'f', perhaps marked native or standard size and byte order, which
// for these two types is the same layout here); 0 for any other format.
char nativeFloatCode(const char* format) {
    if (format[0] == '@' || format[0] == '=' || (PY_LITTLE_ENDIAN && format[0] == '<')) {
        ++format;
    }
    return (format[0] == 'd' || format[0] == 'f') && format[1] == '\0' ? format[0] : 0;
}

}  // namespace

BufferColumn::~BufferColumn() {
    if (held_) {
        PyBuffer_Release(&view_);
    }
}

bool BufferColumn::hold(PyObject* object, const char* name) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        return false;
    }
    held_ = true;
    const char code = nativeFloatCode(view_.format != nullptr ? view_.format : "B");
    if (code == 0 || view_.itemsize != (code == 'd' ? 8 : 4)) {
        PyErr_Format(PyExc_TypeError, "%s: items must be float64 or float32 ('d' or 'f'), not '%s'",
                     name, view_.format != nullptr ? view_.format : "B");
        return false;
    }
    if (view_.ndim != 1) {
        PyErr_Format(PyExc_ValueError, "%s must be one-dimensional, not %d-dimensional", name,
                     view_.ndim);
        return false;
    }
    isDouble_ = code == 'd';
    length_ = view_.shape != nullptr ? view_.shape[0] : view_.len / view_.itemsize;
    return true;
}

bool PointColumns::hold(PyObject* xs, PyObject* ys, PyObject* yUncs) {
    if (!x.hold(xs, "x") || !y.hold(ys, "y") || !yUnc.hold(yUncs, "yunc")) {
        return false;
    }
    if (x.length() != y.length() || x.length() != yUnc.length()) {
        PyErr_Format(PyExc_ValueError, "x, y and yunc differ in length: %zd, %zd, %zd",
                     x.length(), y.length(), yUnc.length());
        return false;
    }
    return true;
}

void readPoints(const PointColumns& columns, bool doublePrecision, PointVector<DataPoint>& points) {
    const Py_ssize_t length = columns.x.length();
    reserveRead(points, length);
    for (Py_ssize_t k = 0; k < length; ++k) {
        points.push_back(DataPoint{asRead(columns.x.at(k), doublePrecision), 0.0,
                                   asRead(columns.y.at(k), doublePrecision),
                                   asRead(columns.yUnc.at(k), doublePrecision)});
    }
}

void readValues(const BufferColumn& column, std::vector<double>& values) {
    reserveRead(values, column.length());
    for (Py_ssize_t k = 0; k < column.length(); ++k) {
        values.push_back(column.at(k));
    }
}

}  // namespace tallowfit
