"""Fleets on a course against caravelt-sim --course: the same rows, the
same laps, the same frames, whatever the threads."""
import os

import numpy as np

import caravelt
from conftest import (DATA, KEY_NAMES, car_args, masks_of, numbered, packed, random_stretches, read_bmp,
                      script_masks, sim, trace_text)

ROOT = os.path.dirname(DATA)
SLALOM = caravelt.COURSES["slalom"]


def course_script(name):
    return script_masks(os.path.join(ROOT, "docs", "courses", f"{name}.txt"))


def script_of(masks):
    """Masks a tick as a caravelt-sim script, a line a tick."""
    return "".join("1 " + " ".join(k for b, k in enumerate(KEY_NAMES) if m >> b & 1) + "\n" for m in masks)


def lap_rows(text):
    """--laps rows as (lap, ticks, cones, total_s)."""
    rows = [line.split(",") for line in text.splitlines()[1:]]
    return [(int(r[0]), int(r[2]), int(r[3]), r[5]) for r in rows]


# Catches a car that does not start at the course's start, a lap counted from the wrong move,
# laps not begun again by R after the last, a lap abandoned by R still counted, cars counted on
# one another's races, and laps lost between steps and rollouts: each car's rows and laps are
# caravelt-sim's for its own script on the course.
def test_a_fleet_on_a_course_drives_and_counts_as_caravelt_sim(tmp_path):
    clean = course_script("slalom")
    T = 2 * len(clean) + 1
    files = [None, "cars/light.toml", "cars/drift.toml", None]
    keys = np.stack([
        np.resize(np.concatenate([clean, [caravelt.R], np.full(T, caravelt.UP)]), T),   # three laps, R, again
        np.resize(np.roll(clean, 40), T),
        masks_of(random_stretches(5, T)),
        np.resize(np.concatenate([clean[:1800], [caravelt.R] * 3, clean]), T),   # lap 2 abandoned
    ]).astype(np.uint16)
    cars = [caravelt.Car() if f is None else caravelt.Car(os.path.join(DATA, f)) for f in files]
    fleet = caravelt.Fleet(cars, SLALOM, threads=2)
    rows, laps = [], [[] for _ in files]

    def note_laps(before):   # a lap done since: no part below holds two, or one and R after it
        for i in np.flatnonzero((fleet.laps["laps_done"] != before) & (fleet.laps["laps_done"] > 0)):
            laps[i].append(fleet.laps[i].copy())
    cuts = sorted(set(range(0, T, 100)) | {len(clean), T})
    for t0, t1 in zip(cuts, cuts[1:]):
        if 1500 <= t0 < 1900:   # these a tick a call, the rest in rollouts
            for t in range(t0, t1):
                before = fleet.laps["laps_done"].copy()
                fleet.step(np.ascontiguousarray(keys[:, t]))
                rows.append(packed(fleet.state)[:, None])
                note_laps(before)
        else:
            before = fleet.laps["laps_done"].copy()
            rows.append(fleet.rollout(np.ascontiguousarray(keys[:, t0:t1])))
            note_laps(before)
    got = np.concatenate(rows, axis=1)
    for i, f in enumerate(files):
        trace = sim(*car_args(f), "--course", SLALOM, "--laps", str(tmp_path / "laps.csv"),
                    script=script_of(keys[i]))
        assert trace_text(numbered(got[i])) == trace.split("\n", 1)[1], f"car {i}"
        expected = lap_rows((tmp_path / "laps.csv").read_text())
        assert [(int(r["laps_done"]), int(r["last_ticks"]), int(r["last_cones"]), "%.2f" % r["last_total"])
                for r in laps[i]] == expected, f"car {i}"
    assert [int(r["last_ticks"]) for r in laps[0]] == [946, 666, 671]
    again = fleet.laps[0]   # through the start gate after R: lap 1 once more, the best kept
    assert again["in_lap"] and again["laps_done"] == 0 and again["best_ticks"] == 666 and not again["finished"]
    assert int(laps[3][0]["last_ticks"]) == 946 and all(r["last_ticks"] != 666 for r in laps[3])


# Catches cars counted on another car's race, or a lap counted twice or not at all when the
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


# Catches a course drawn otherwise than the game draws it (cones standing or fallen, the next
# gate, the timing box and its split), or drawn from another car's race: mid-lap with cones
# down, and at the finish.
def test_frames_on_a_course_are_caravelt_sims(tmp_path):
    clean = course_script("figure8")
    ragged = np.concatenate([clean[:600], np.full(300, caravelt.UP | caravelt.RIGHT, np.uint16)])
    fleet = caravelt.Fleet([caravelt.Car(), caravelt.Car()], caravelt.COURSES["figure8"])
    for keys in (ragged, clean):
        fleet.reset()
        fleet.rollout(np.stack([np.zeros_like(keys), keys]))
        bmp = tmp_path / "frame.bmp"
        sim("--course", caravelt.COURSES["figure8"], "--frame", str(bmp), "--data", DATA, "--trace", "/dev/null",
            script=script_of(keys))
        assert (caravelt.frame(fleet, 1) == read_bmp(bmp)).all()
    assert fleet.laps["finished"][1] and not fleet.laps["in_lap"][0]
