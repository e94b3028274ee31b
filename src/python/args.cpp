/*
 * python/args.cpp -- checking what Python hands in; the traced columns as
 * a numpy dtype.
 */
#include "bind.h"

#include <cstring>
#include <type_traits>

std::string type_name(py::handle h) { return Py_TYPE(h.ptr())->tp_name; }

long long arg_whole(py::handle h, const char *what)
{
    if (PyBool_Check(h.ptr()) || !PyIndex_Check(h.ptr()) || py::isinstance<py::array>(h))
        throw py::type_error(std::string(what) + " must be an int, not " + type_name(h));
    int overflow = 0;
    py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(h.ptr()));
    if (!i)
        throw py::error_already_set();
    long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow)
        throw py::value_error(std::string(what) + " is out of range: " + py::str(h).cast<std::string>());
    return v;
}

std::string no_nul(const std::string &s, const char *what)
{
    if (s.find('\0') != std::string::npos)
        throw py::value_error(std::string(what) + " holds a NUL character");
    return s;
}

size_t index_of(long long i, size_t n, const char *what)
{
    if (i < -(long long)n || i >= (long long)n)
        throw py::value_error(std::string(what) + " " + std::to_string(i) + " is out of range for "
                              + std::to_string(n) + " cars (0 to " + std::to_string(n - 1) + ")");
    return (size_t)(i < 0 ? i + (long long)n : i);
}

py::dtype trace_columns(bool with_tick, size_t base, size_t itemsize)
{
    py::list names, formats, offsets;
    if (with_tick)
        names.append("tick"), formats.append("i8"), offsets.append(0);
#define COLUMN(type, name, start)                                        \
    names.append(#name);                                                 \
    formats.append(std::is_same_v<type, float> ? "f4" : "i4");           \
    offsets.append(base + offsetof(state_row, name));
    SIM_STATE_TRACED(COLUMN)
#undef COLUMN
    py::dict d;
    d["names"] = names, d["formats"] = formats, d["offsets"] = offsets, d["itemsize"] = itemsize;
    return py::dtype::from_args(d);
}

void not_made(py::handle h)
{
    throw py::type_error(type_name(h) + " made without its __init__ holds nothing: make one by calling the "
                         "class");
}

void value_error(const char *message)
{
    PyObject *text = PyUnicode_DecodeUTF8(message, (Py_ssize_t)strlen(message), "backslashreplace");
    if (text) {
        PyErr_SetObject(PyExc_ValueError, text);
        Py_DECREF(text);
    }
    throw py::error_already_set();
}
