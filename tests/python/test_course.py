"""Fleets on a course: the cars start where the course says, and their laps
are counted as caravelt-sim counts them, whatever the threads."""
import os

import numpy as np

import caravelt
from conftest import DATA, masks_of, packed, random_stretches, script_masks

ROOT = os.path.dirname(DATA)


def course_script(name):
    return script_masks(os.path.join(ROOT, "docs", "courses", f"{name}.txt"))


def laps_of_steps(fleet, keys):
    """Steps fleet tick by tick through keys (n, T): per car, the laps as
    they complete, (lap, ticks, cones, total)."""
    done = [[] for _ in range(len(fleet))]
    for t in range(keys.shape[1]):
        before = fleet.laps["laps_done"].copy()
        fleet.step(np.ascontiguousarray(keys[:, t]))
        laps = fleet.laps
        for i in np.flatnonzero(laps["laps_done"] != before):
            done[i].append((int(laps["laps_done"][i]), int(laps["last_ticks"][i]), int(laps["last_cones"][i]),
                            round(float(laps["last_total"][i]), 2)))
    return done


# Catches a car that does not start at the course's start, a lap counted from the wrong move
# (the car's place after the tick taken for before it), or a drive that a course changes: a
# fleet's rows on a course are run()'s, and the shipped scripts' laps come out as the README says.
def test_shipped_scripts_drive_their_courses_clean():
    expected = {"slalom": [946, 666, 671], "figure8": [969, 748], "autocross": [2134, 1872]}
    for name, lap_ticks in expected.items():
        keys = course_script(name)[None, :]
        fleet = caravelt.Fleet(caravelt.Car(), caravelt.COURSES[name])
        course = fleet.course
        assert tuple(fleet.state[["x", "y"]][0]) == (course.start[0] * 10, course.start[1] * 10)
        rows = fleet.rollout(keys)
        trace = caravelt.run(os.path.join(ROOT, "docs", "courses", f"{name}.txt"), course=course)
        assert packed(rows[0]).tobytes() == packed(trace[list(rows.dtype.names)]).tobytes()
        laps = fleet.laps[0]
        assert laps["laps_done"] == len(lap_ticks) and laps["finished"] and laps["best_cones"] == 0
        assert laps["best_ticks"] == min(lap_ticks) and laps["last_ticks"] == lap_ticks[-1]
        fleet.reset()
        assert [d[1] for d in laps_of_steps(fleet, keys)[0]] == lap_ticks


# Catches cars counted on another car's progress, or a lap counted twice or not at all when the
# cars are split over threads or their ticks over chunks: the same laps and rows, bit for bit.
def test_any_number_of_threads_counts_the_same_laps():
    n, T = 6, 16384
    script = course_script("autocross")
    keys = np.stack([np.resize(np.roll(script, 13 * i), T) if i % 2 == 0
                     else masks_of(random_stretches(40 + i, T)) for i in range(n)])
    results = []
    for threads in (1, 2, 3):
        fleet = caravelt.Fleet(caravelt.Car(), caravelt.COURSES["autocross"], threads, n=n)
        rows = fleet.rollout(keys)
        first = fleet.laps.tobytes()
        fleet.step(np.full(n, caravelt.UP | caravelt.LEFT, np.uint16), ticks=T)
        results.append((rows.tobytes(), first, fleet.laps.tobytes()))
    assert results[0] == results[1] == results[2]
    assert (np.frombuffer(results[0][1], fleet.laps.dtype)["laps_done"] > 0).any()
