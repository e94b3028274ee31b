"""Fleets, runs and frames against caravelt-sim: the same bytes."""
import os
import pickle
import threading
from pathlib import Path

import numpy as np
import pytest

import caravelt
from conftest import (CAR_FILES, DATA, car_args, course_script, fleet_cars, masks_of, packed, random_stretches,
                      read_bmp, script_text, sim, trace_text)

SCENARIO = os.path.join(os.path.dirname(DATA), "bench", "drive.txt")


def mixed_fleet(n, threads, course=None):
    files = [CAR_FILES[i % len(CAR_FILES)] for i in range(n)]
    return files, caravelt.Fleet(fleet_cars(files), course, threads=threads)


# Catches cars split over threads unevenly, a thread's names leaking into another's cars or
# races, or a part run on the wrong slice of the keys.
@pytest.mark.parametrize("n,course", [(1, None), (5, "autocross")])
def test_any_number_of_threads_gives_the_same_bytes(n, course):
    T = 16384  # enough ticks a car for every car to get its own thread
    keys = np.stack([masks_of(random_stretches(300 + i, T)) for i in range(n)])
    if course:   # the preset cars drive laps
        keys[::4] = np.resize(course_script(course), T)
    results = []
    for threads in (1, 2, 3):
        _, fleet = mixed_fleet(n, threads, course and caravelt.COURSES[course])
        out = fleet.rollout(keys)
        first = course and fleet.laps.copy()
        fleet.step(np.full(n, caravelt.UP | caravelt.LEFT, np.uint16), ticks=T)
        laps = course and np.concatenate([first, fleet.laps]).tobytes()
        results.append((out.tobytes(), packed(fleet.state).tobytes(), laps))
    assert results[1] == results[0] and results[2] == results[0]
    assert not course or (first["laps_done"] > 0).any()


# Catches a state that is a stale copy or freed under a view that outlives its fleet, and a
# reset touching cars not named or forgetting a car's own parameters.
def test_state_is_a_read_only_view_and_reset_restarts_only_the_cars_named():
    files, fleet = mixed_fleet(4, threads=1)
    state = fleet.state
    fleet.step(np.array([caravelt.A] * 4, np.uint16))
    fleet.step(caravelt.UP, ticks=200)
    assert fleet.state is state and (state["Gear"] == 1).all() and (state["y"] < 384).all()
    before = packed(state)
    fleet.reset(np.array([False, True, False, True]))
    fleet.reset([-4])
    fresh = packed(caravelt.Fleet(fleet_cars(files)).state)
    assert packed(state).tobytes() == np.concatenate([fresh[:2], before[2:3], fresh[3:]]).tobytes()
    again = caravelt.Fleet(fleet_cars(files))
    for f in (fleet, again):
        f.step(caravelt.A), f.step(caravelt.UP, ticks=50)
    assert packed(state[[0, 1, 3]]).tobytes() == packed(again.state[[0, 1, 3]]).tobytes()
    kept = packed(state)
    del fleet, again
    assert packed(state).tobytes() == kept.tobytes()


# Catches a run unlike caravelt-sim's: title screens, keys after "/", comments, a car file, a path or text.
def test_run_is_caravelt_sims_trace():
    cases = [
        (open(SCENARIO).read(), None),
        ("1 A\n250 Up Right # slide\n1 Up Q / Up R\n1 Q / Q\n40 Down Z\n", "cars/drift.toml"),
        (script_text(random_stretches(7, 2000)), "cars/light.toml"),
    ]
    for text, car_file in cases:
        expected = sim(*car_args(car_file), script=text).split("\n", 1)[1]
        car = caravelt.Car(os.path.join(DATA, car_file)) if car_file else None
        assert trace_text(caravelt.run(text, car=car)) == expected
    assert trace_text(caravelt.run(Path(SCENARIO))) == trace_text(caravelt.run(SCENARIO))
    assert len(caravelt.run("# nothing but a comment\n")) == 0


# Catches a frame from the wrong car or state, or colours widened unlike caravelt-sim's.
@pytest.mark.parametrize("car_file", [None, "cars/drift.toml"])
def test_frame_is_caravelt_sims_frame(car_file, tmp_path):
    stretches = random_stretches(11, 700)
    bmp = tmp_path / "frame.bmp"
    sim(*car_args(car_file), "--frame", str(bmp), "--data", DATA, "--trace", "/dev/null",
        script=script_text(stretches))
    fleet, keys = caravelt.Fleet([caravelt.Car()] + fleet_cars([car_file])), masks_of(stretches)
    fleet.rollout(np.stack([np.zeros_like(keys), keys]))
    picture = caravelt.frame(fleet, 1)
    assert picture.shape == (768, 1024, 3) and picture.dtype == np.uint8
    assert (picture == read_bmp(bmp)).all()


# Catches a keyword rounded unlike the same number in a car file, and a car not back from a pickle bit for bit.
def test_keywords_round_as_a_car_file_and_cars_pickle_exactly(tmp_path):
    fields = dict(Mass=950.1, G=0.1, DriveTrain=3, LockMax=33.333333333, BrakeForce=5,
                  DragCoeficient=199999.99, GearReduction=[-3.9, 0, 3.1, 2.2, 1.3, 1.01, 0.7, 0.5, 0.3])
    text = "".join(f"{k} = {v!r}\n" for k, v in fields.items())
    (tmp_path / "car.toml").write_text(text)
    from_file = caravelt.Car(tmp_path / "car.toml")
    by_keyword = caravelt.Car(**fields)
    assert by_keyword == from_file and hash(by_keyword) == hash(from_file)
    assert by_keyword.Mass == np.float32(950.1) and by_keyword.DriveTrain == 3
    light = caravelt.Car(os.path.join(DATA, "cars/light.toml"), Mass=950)
    for car in (by_keyword, light):
        back = pickle.loads(pickle.dumps(car))
        assert back == car and type(back) is caravelt.Car and back != caravelt.Car()


# Catches two threads running one fleet at once, or a second caller waiting while holding the GIL.
def test_a_fleet_running_on_one_thread_refuses_another():
    fleet = caravelt.Fleet(caravelt.Car(), n=64, threads=1)

    def drive():  # until it gets the fleet: the frames below may hold it first
        while True:
            try:
                return fleet.step(caravelt.UP, 100000)
            except RuntimeError:
                pass
    worker = threading.Thread(target=drive)
    worker.start()
    refused = None
    while worker.is_alive() and refused is None:
        try:
            caravelt.frame(fleet, 0)
        except RuntimeError as e:
            refused = str(e)
    worker.join()
    assert refused == "the fleet is running on another thread"


# Catches progress not told, told wrong (each chunk's ticks done, rising to all), or changing the drive.
def test_progress_is_told_as_a_long_call_goes():
    seen = []
    fleet, quiet = caravelt.Fleet(caravelt.Car(), n=4), caravelt.Fleet(caravelt.Car(), n=4)
    keys = np.full((4, 700000), caravelt.UP, np.uint16)
    rows = fleet.rollout(keys, progress=lambda done, total: seen.append((done, total)))
    assert len(seen) > 1 and seen[-1] == (700000, 700000)
    assert all(a[0] < b[0] and a[1] == 700000 for a, b in zip(seen, seen[1:]))
    assert rows.tobytes() == quiet.rollout(keys).tobytes()
    with pytest.raises(TypeError, match="progress must be"):
        fleet.step(1, progress="yes")
