/*
 * python/bind_course.cpp -- Course: a course file read and checked as the
 * game reads it, its numbers in metres for Python.
 *
 * A course does not change once made: fleets and environments share it.
 */
#include "bind.h"

/* The course in the file at path; ValueError with the file's own message. */
static std::shared_ptr<course> course_made(const std::string &path)
{
    auto c = std::make_shared<course>();
    char err[600];
    if (read_course_file(no_nul(path, "path").c_str(), c.get(), err, sizeof err) != 0)
        throw py::value_error(err);
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
    c.def(py::init(&course_made), py::arg("path"));
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
