"""The driver from Python: best_lap against caravelt-sim --best-lap, its keys
driven again by a fleet and by caravelt.run, and the sheet's new figures."""
import os

import numpy as np
import pytest

import caravelt
from conftest import DATA, sim


# Catches keys, laps or a time not the search's (another seed, budget or car), threads changing
# the drive, and keys that do not drive the laps they come with, counted afresh by a fleet and caravelt.run.
def test_best_lap_is_caravelt_sims_and_its_keys_drive_its_laps(tmp_path):
    light = os.path.join(DATA, "cars", "light.toml")
    course = caravelt.COURSES["figure8"]
    got = caravelt.best_lap(light, course, drives=400, seed=3, threads=2)
    assert got.keys.dtype == np.uint16 and got.cones == 0 and got.drives == 400
    assert got.time == got.laps["total_s"].min() and (got.laps["cones"] == 0).all()
    assert (caravelt.best_lap(light, caravelt.Course(course), drives=400, seed=3, threads=1).keys == got.keys).all()

    out = sim("--course", course, "--car", light, "--best-lap", "--budget-drives", "400", "--seed", "3",
              "--record", str(tmp_path / "r.rec"), "--laps", str(tmp_path / "laps.csv"))
    assert out.startswith(f"Figure eight: best lap {got.time:.2f} s")
    rows = np.genfromtxt(tmp_path / "laps.csv", delimiter=",", names=True)
    assert rows["ticks"].astype(int).tolist() == got.laps["ticks"].tolist()
    assert rows["gate8_s"].tolist() == got.laps["gate8_s"].tolist()

    assert len(caravelt.run(tmp_path / "r.rec")) == len(got.keys)

    fleet = caravelt.Fleet([caravelt.Car(light)], course)
    fleet.rollout(got.keys[None, :])
    laps = fleet.laps[0]
    assert laps["finished"] and laps["laps_done"] == len(got.laps) and laps["best_total"] == got.time


# Catches a course it cannot finish reported as driven: every way through the only gate knocks a cone.
def test_best_lap_on_a_course_it_cannot_finish(tmp_path):
    walled = tmp_path / "walled.toml"
    walled.write_text('start = { x = 10.0, y = 38.4, heading = 90.0 }\nlaps = 1\n'
                      '[[gate]]\na = [30.0, 36.4]\nb = [30.0, 40.4]\n'
                      + "".join(f"[[cone]]\nat = [30.0, {36.4 + 0.5 * k:.1f}]\n" for k in range(9)))
    with pytest.raises(RuntimeError, match="no clean drive of 'walled' found in 100 drives: the best passed"):
        caravelt.best_lap(course=walled, drives=100)


# Catches standing not heard (not from the line after the countdown, as --standing-start),
# progress not told or out of order, and an error raised by progress lost.
def test_best_lap_from_a_standing_start_with_progress():
    course = caravelt.COURSES["slalom"]
    told = []
    got = caravelt.best_lap(course=course, drives=300, standing=True, progress=lambda *a: told.append(a))
    assert told == sorted(told) and told[-1] == (300, 300) and all(type(d) is int for d, _ in told)
    out = sim("--course", course, "--best-lap", "--budget-drives", "300", "--standing-start")
    assert out.startswith(f"Slalom: best lap {got.time:.2f} s")
    assert got.laps["start_tick"][0] == 300   # the countdown's ticks, then the line
    flying = caravelt.best_lap(course=course, drives=300)
    assert flying.laps["start_tick"][0] != got.laps["start_tick"][0]

    def stop(done, total):
        raise ValueError(f"stopped at {done}")
    with pytest.raises(ValueError, match="stopped at 65"):
        caravelt.best_lap(course=course, drives=300, progress=stop)


# Catches the closed-loop figures missing from the module or not the sheet's, and a course's
# lap figures not the ones --sheet --course prints.
def test_sheet_has_the_closed_loop_figures_and_the_lap_with_a_course():
    preset = caravelt.sheet()
    assert list(preset)[-4:] == ["circle_kmh", "circle_g", "lane_change_kmh", "fault"]
    assert caravelt.SHEET_COLUMNS[-3:] == ("circle_kmh", "circle_g", "lane_change_kmh")
    slalom = caravelt.COURSES["slalom"]
    with_lap = caravelt.sheet(course=slalom, drives=200)
    table = sim("--sheet", "--course", slalom, "--budget-drives", "200")
    assert f"| best lap on the course (s) | {with_lap['lap_s']:.2f} |" in table
    assert {k: v for k, v in with_lap.items() if k not in caravelt.SHEET_LAP_COLUMNS} == preset
    assert with_lap["lap_cones"] == 0
