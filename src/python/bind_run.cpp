/*
 * python/bind_run.cpp -- what caravelt-sim makes, for Python: a script's
 * trace as rows, and the driving view of a fleet's car.
 */
#include "bind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame.h"
#include "run.h"

/* The trace of the stretches read from in, driving car c. */
static py::array run_from(FILE *in, const std::string &name, const car &c, const course *track)
{
    std::vector<stretch> script;
    uint64_t ticks = 0;
    char err[600];
    int st = script_read(in, name.c_str(), &script, &ticks, err, sizeof err);
    fclose(in);
    if (st != 0)
        throw py::value_error(err);
    py::array rows(columns(true, offsetof(trace_row, s), sizeof(trace_row)),
                   std::vector<ssize_t>{(ssize_t)ticks});
    py::gil_scoped_release nogil;
    script_drive(&c, track, script, (trace_row *)rows.mutable_data());
    return rows;
}

static py::array run_text(const std::string &text, const std::string &name, const car &c,
                          const course *track)
{
    static const char nothing[] = "\n";   /* an empty stream has no bytes to open */
    FILE *in = text.empty() ? fmemopen((void *)nothing, 1, "r")
                            : fmemopen((void *)text.data(), text.size(), "r");
    if (!in)
        throw std::runtime_error(std::string("cannot read the script: ") + strerror(errno));
    return run_from(in, name, c, track);
}

static py::array run_file(const std::string &path, const car &c, const course *track)
{
    FILE *in = fopen(no_nul(path, "script").c_str(), "r");
    if (!in) {
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
    return run_from(in, path, c, track);
}

static py::array frame_py(fleet &f, py::handle i, const std::string &data)
{
    size_t at = index_of(whole(i, "i"), f.n(), "i: car");
    char err[600];
    if (view_pictures(no_nul(data, "data").c_str(), err, sizeof err) != 0)
        throw py::value_error(err);
    py::array_t<uint8_t> rgb({(ssize_t)VIEW_H, (ssize_t)VIEW_W, (ssize_t)3});
    fleet_taken taken(f);
    /* The drawing's bitmaps are process-wide: drawn holding the lock. */
    view_draw(&(*f.cars)[at], f.track ? &f.races[at] : nullptr, rgb.mutable_data());
    return rgb;
}

void bind_run(py::module_ &m)
{
    m.def("_run_text", &run_text, py::arg("text"), py::arg("name"), py::arg("car"), py::arg("course"));
    m.def("_run_file", &run_file, py::arg("path"), py::arg("car"), py::arg("course"));
    m.def("_frame", &frame_py, py::arg("fleet"), py::arg("i"), py::arg("data"));
}
