/*
 * python/module.cpp -- the compiled half of the caravelt package, _caravelt:
 * the game's own simulation and drawing over cars as values.
 */
#include "bind.h"

#include "sim/sim.h"

PYBIND11_MODULE(_caravelt, m)
{
    m.doc() = "The compiled half of caravelt: the game's own simulation and drawing.";
    static const char *const key_names[SIM_KEYS] = {"UP", "DOWN", "LEFT", "RIGHT", "A", "Z", "X", "R", "Q"};
    for (int i = 0; i < SIM_KEYS; i++)
        m.attr(key_names[i]) = 1u << i;
    m.attr("DATA_DIR") = CARAVELT_DATA_DIR;
    bind_car(m);
    bind_course(m);
    bind_fleet(m);
    bind_env(m);
    bind_run(m);
    bind_sheet(m);
    bind_driver(m);
}
