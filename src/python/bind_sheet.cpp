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
 * car's state stopped being finite (every figure None then).  Measured
 * with the interpreter's lock released, on the calling thread.
 * ---------------------------------------------------------------------- */
static py::dict sheet_py(const car &c, double shift_rpm)
{
    if (!(shift_rpm > 0) || !std::isfinite(shift_rpm))
        throw py::value_error("shift must be an engine speed in rev/min above 0, not "
                              + py::repr(py::float_(shift_rpm)).cast<std::string>());
    sheet_how how;
    how.shift_rpm = shift_rpm;
    sheet_figures f;
    {
        py::gil_scoped_release nogil;
        sheet_measure(&c, &how, &f);
    }
    py::dict d;
    char text[64];
    for (int i = 0; i < SHEET_FIGURES; i++) {
        if (!sheet_figure_text(&f, i, text, sizeof text))
            d[SHEET_COLUMNS[i]] = py::none();
        else if (strchr(text, '.'))
            d[SHEET_COLUMNS[i]] = strtod(text, nullptr);
        else
            d[SHEET_COLUMNS[i]] = strtol(text, nullptr, 10);
    }
    d["fault"] = f.fault[0] ? py::object(py::str(f.fault)) : py::object(py::none());
    return d;
}

void bind_sheet(py::module_ &m)
{
    m.def("_sheet", &sheet_py, py::arg("car"), py::arg("shift"));
    py::tuple columns((size_t)SHEET_FIGURES), labels((size_t)SHEET_FIGURES);
    for (int i = 0; i < SHEET_FIGURES; i++)
        columns[i] = SHEET_COLUMNS[i], labels[i] = SHEET_LABELS[i];
    m.attr("SHEET_COLUMNS") = columns;
    m.attr("SHEET_LABELS") = labels;
}
