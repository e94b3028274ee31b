/*
 * python/bind_course.cpp -- Course: a course file read and checked as the
 * game reads it, its numbers in metres for Python.
 *
 * A course does not change once made: fleets and environments share it.
 */
#include "bind.h"

/* The course in the file at path (bytes, as the file system names it), or
 * in a course file's text named path; ValueError with the file's own
 * message. */
static std::shared_ptr<course> course_made(const std::string &path, py::object text)
{
    auto c = std::make_shared<course>();
    char err[600];
    std::string p = no_nul(path, "path");
    int st = text.is_none() ? read_course_file(p.c_str(), c.get(), err, sizeof err)
                            : read_course_text(p.c_str(), text.cast<std::string>(), c.get(), err, sizeof err);
    if (st != 0)
        value_error(err);
    return c;
}

/* Points in px as metres, an array of shape (k, 2) for k points. */
static py::array_t<double> metres(const course_point *points, size_t k)
{
    py::array_t<double> a({(ssize_t)k, (ssize_t)2});
    double *d = a.mutable_data();
    for (size_t i = 0; i < k; i++) {
        d[2 * i] = (double)points[i].x / COURSE_PX_PER_M;
        d[2 * i + 1] = (double)points[i].y / COURSE_PX_PER_M;
    }
    return a;
}

static_assert(sizeof(course_gate) == 2 * sizeof(course_point), "a gate is its two points");

void bind_course(py::module_ &m)
{
    py::class_<course, std::shared_ptr<course>> c(m, "Course", "A course (see caravelt.Course).");
    c.def(
        "__init__",
        [](py::detail::value_and_holder &v_h, const std::string &path, py::object text) {
            not_again(v_h, "Course");
            py::detail::initimpl::construct<py::class_<course, std::shared_ptr<course>>>(v_h, course_made(path, text),
                                                                                         false);
        },
        py::detail::is_new_style_constructor(), py::arg("path"), py::arg("text") = py::none());
    c.def_property_readonly("_text", [](const course &k) { return py::bytes(k.text); });
    /* as its file's text (caravelt.Course's own, for the one a fleet hands back too) */
    c.def("__reduce__", [](const course &k) {
        return py::make_tuple(py::module_::import("caravelt").attr("_course_from_text"),
                              py::make_tuple(k.name, py::bytes(k.text)));
    });
    c.def_property_readonly("_is_made", [](py::handle self) { return made(self, typeid(course)); });
    c.def_property_readonly("name", [](const course &k) { return k.name; });
    c.def_property_readonly("laps", [](const course &k) { return k.laps; });
    c.def_property_readonly("penalty", [](const course &k) { return k.penalty; });
    c.def_property_readonly("start", [](const course &k) {
        return py::make_tuple((double)k.start.x / COURSE_PX_PER_M, (double)k.start.y / COURSE_PX_PER_M,
                              k.heading);
    });
    c.def_property_readonly("gates", [](const course &k) {
        /* (gates, 2, 2): each gate's a and b, x and y */
        return metres(&k.gates.data()->a, 2 * k.gates.size()).reshape({(ssize_t)k.gates.size(), (ssize_t)2, (ssize_t)2});
    });
    c.def_property_readonly("cones", [](const course &k) { return metres(k.cones.data(), k.cones.size()); });
    c.def_property_readonly("hash", [](const course &k) { return course_hash(&k); });
}
