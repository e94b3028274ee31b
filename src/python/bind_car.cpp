/*
 * python/bind_car.cpp -- Car: a car's parameters from the preset, a car
 * file and fields by name, each checked as a car file's value is.
 */
#include "bind.h"

#include "drive/header.h"

#include <cstring>

#include "sim/carfile.h"

static car car_made(py::object path)
{
    car c = KVT;
    if (path.is_none())
        return c;
    std::string p = no_nul(path.cast<std::string>(), "path");
    char err[600];
    if (read_car_file(p.c_str(), &c, err, sizeof err) != 0)
        throw py::value_error(err);
    return c;
}

static void car_set(car &c, const std::string &name, const std::string &text)
{
    char err[400];
    if (car_field_set(&c, no_nul(name, "a field's name").c_str(), no_nul(text, name.c_str()).c_str(),
                      err, sizeof err) != 0)
        throw py::value_error(err);
}

void bind_car(py::module_ &m)
{
    py::class_<car> c(m, "Car", "A car's parameters (see caravelt.Car).");
    c.def(py::init(&car_made), py::arg("path") = py::none());
    c.def("_set", &car_set, "One field from decimal text, checked as a car file's value is.");
    c.def("__eq__", [](const car &a, py::object b) {
        return py::isinstance<car>(b) && memcmp(&a, &b.cast<const car &>(), sizeof a) == 0;
    });
    c.def("__hash__", [](const car &a) {
        return py::hash(py::bytes((const char *)&a, sizeof a));
    });
    c.def_property_readonly("hash", [](const car &a) { return car_hash_of(&a); },
                            "The parameters' hash, as a recording's header names the car by.");
    py::list names;
#define CAR_GET(type, name)                                                   \
    c.def_property_readonly(#name, [](const car &a) { return a.name; });      \
    names.append(#name);
#define CAR_GET_TABLE(type, name, n)                                          \
    c.def_property_readonly(#name, [](const car &a) {                         \
        py::tuple t(n);                                                       \
        for (int i = 0; i < n; i++)                                           \
            t[i] = a.name[i];                                                 \
        return t;                                                             \
    });                                                                       \
    names.append(#name);
    CAR_FIELDS(CAR_GET, CAR_GET_TABLE)
#undef CAR_GET
#undef CAR_GET_TABLE
    m.attr("CAR_FIELDS") = py::tuple(names);
}
