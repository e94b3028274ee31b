/*
 * python/bind_car.cpp -- Car: a car's parameters from the preset, a car
 * file and fields by name, each checked as a car file's value is.
 */
#include "bind.h"

#include <pybind11/stl.h>

#include "drive/header.h"

#include <cstring>

#include "sim/carfile.h"

/* The car of the car file at path (bytes, as the file system names it;
 * None: the preset), the fields (name, decimal text) set on top, each
 * checked as a car file's value is; ValueError with the file's own
 * message. */
static std::unique_ptr<car> car_made(py::object path, const std::vector<std::pair<std::string, std::string>> &fields)
{
    auto c = std::make_unique<car>(KVT);
    char err[600];
    if (!path.is_none()) {
        std::string p = no_nul(path.cast<std::string>(), "path");
        if (read_car_file(p.c_str(), c.get(), err, sizeof err) != 0)
            value_error(err);
    }
    for (const auto &[name, text] : fields)
        if (car_field_set(c.get(), no_nul(name, "a field's name").c_str(), no_nul(text, name.c_str()).c_str(), err,
                          sizeof err) != 0)
            value_error(err);
    return c;
}

void bind_car(py::module_ &m)
{
    py::class_<car> c(m, "Car", "A car's parameters (see caravelt.Car).");
    c.def(
        "__init__",
        [](py::detail::value_and_holder &v_h, py::object path,
           const std::vector<std::pair<std::string, std::string>> &fields) {
            not_again(v_h, "Car");
            py::detail::initimpl::construct<py::class_<car>>(v_h, car_made(path, fields), false);
        },
        py::detail::is_new_style_constructor(), py::arg("path") = py::none(),
        py::arg("fields") = std::vector<std::pair<std::string, std::string>>{});
    c.def_property_readonly("_is_made", [](py::handle self) { return made(self, typeid(car)); });
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
