/*
 * python/bind_sheet.cpp -- sheet: a car's handling sheet, the figures
 * caravelt-sim --sheet prints, as numbers.
 */
#include "bind.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sheet/sheet.h"

/* ----------------------------------------------------------------------
 * The sheet of car c, shifting up at shift_rpm: {column: figure}, in the
 * sheet's order, each the number the sheet prints (top_gear an int, the
 * rest floats) or None where it prints "-"; then "fault", None or why the
 * car's state stopped being finite (every figure None then); with a
 * course (not null), its lap figures before "fault", the lap found in
 * `drives` drives.  Measured with the interpreter's lock released, on the
 * calling thread.
 * ---------------------------------------------------------------------- */
static py::dict sheet_py(const car &c, double shift_rpm, const course *track, long long drives)
{
    if (!(shift_rpm > 0) || !std::isfinite(shift_rpm))
        throw py::value_error("shift must be an engine speed in rev/min above 0, not "
                              + py::repr(py::float_(shift_rpm)).cast<std::string>());
    if (drives < 1)
        throw py::value_error("drives must be 1 or more, not " + std::to_string(drives));
    sheet_how how;
    how.shift_rpm = shift_rpm;
    how.track = track;
    how.lap_drives = (long)drives;
    sheet_figures f;
    {
        py::gil_scoped_release nogil;
        sheet_measure(&c, &how, &f);
    }
    py::dict d;
    char text[64];
    for (int i = 0; i < SHEET_FIGURES + (track ? SHEET_LAP_FIGURES : 0); i++) {
        const char *name = i < SHEET_FIGURES ? SHEET_COLUMNS[i] : SHEET_LAP_COLUMNS[i - SHEET_FIGURES];
        if (!sheet_figure_text(&f, i, text, sizeof text))
            d[name] = py::none();
        else if (strchr(text, '.'))
            d[name] = strtod(text, nullptr);
        else
            d[name] = strtol(text, nullptr, 10);
    }
    d["fault"] = f.fault[0] ? py::object(py::str(f.fault)) : py::object(py::none());
    return d;
}

void bind_sheet(py::module_ &m)
{
    m.def("_sheet", &sheet_py, py::arg("car"), py::arg("shift"), py::arg("course"), py::arg("drives"));
    py::tuple columns((size_t)SHEET_FIGURES), labels((size_t)SHEET_FIGURES);
    for (int i = 0; i < SHEET_FIGURES; i++)
        columns[i] = SHEET_COLUMNS[i], labels[i] = SHEET_LABELS[i];
    m.attr("SHEET_COLUMNS") = columns;
    m.attr("SHEET_LABELS") = labels;
    py::tuple lap_columns((size_t)SHEET_LAP_FIGURES);
    for (int i = 0; i < SHEET_LAP_FIGURES; i++)
        lap_columns[i] = SHEET_LAP_COLUMNS[i];
    m.attr("SHEET_LAP_COLUMNS") = lap_columns;
}
