"""Fleets on a course against caravelt-sim --course: the same rows, laps and frames."""
import numpy as np

import caravelt
from conftest import (DATA, car_args, course_script, fleet_cars, masks_of, numbered, packed, random_stretches,
                      read_bmp, script_text, sim, trace_text)

SLALOM = caravelt.COURSES["slalom"]


def lap_rows(text):
    """--laps rows as (lap, ticks, cones, total_s)."""
    rows = [line.split(",") for line in text.splitlines()[1:]]
    return [(int(r[0]), int(r[2]), int(r[3]), r[5]) for r in rows]


# Catches a car leaking into its neighbour or not at the course's start, a column, tick or lap lost
# between rollout, step and the views, keys a tick late, one mask for all held unlike an array.
def test_a_mixed_fleet_on_a_course_drives_and_counts_as_caravelt_sim(tmp_path):
    clean = course_script("slalom")
    T = 2 * len(clean) + 101   # the last 100 ticks Up for every car, in one call
    keys = np.stack([
        np.resize(np.concatenate([clean, [caravelt.R], np.full(T, caravelt.UP)]), T),   # three laps, R, again
        np.resize(np.roll(clean, 40), T),
        masks_of(random_stretches(5, T)),
        np.resize(np.concatenate([clean[:1800], [caravelt.R] * 3, clean]), T),   # lap 2 abandoned
    ]).astype(np.uint16)
    keys[:, -100:] = caravelt.UP
    files = [None, "cars/light.toml", "cars/drift.toml", None]
    fleet = caravelt.Fleet(fleet_cars(files), SLALOM, threads=2)
    rows, laps = [], [[] for _ in files]

    def run(part, *args):   # a lap done since: no part below holds two, or one and R after it
        before = fleet.laps["laps_done"].copy()
        rows.append(part(*args))
        for i in np.flatnonzero((fleet.laps["laps_done"] != before) & (fleet.laps["laps_done"] > 0)):
            laps[i].append(fleet.laps[i].copy())

    def step(k, ticks=1):
        fleet.step(k, ticks=ticks)
        return packed(fleet.state)[:, None]
    cuts = sorted(set(range(0, T - 100, 100)) | {len(clean), T - 100})
    for t0, t1 in zip(cuts, cuts[1:]):
        if 1500 <= t0 < 1900:   # these a tick a call, the rest in rollouts
            for t in range(t0, t1):
                run(step, np.ascontiguousarray(keys[:, t]))
        else:
            run(fleet.rollout, np.ascontiguousarray(keys[:, t0:t1]))
    run(step, caravelt.UP, 100)
    got = np.concatenate(rows, axis=1)
    for i, f in enumerate(files):
        trace = sim(*car_args(f), "--course", SLALOM, "--laps", str(tmp_path / "laps.csv"),
                    script=script_text((1, m) for m in keys[i])).splitlines(True)[1:]
        mine = trace_text(numbered(got[i], np.r_[1:T - 99, T])).splitlines(True)
        assert mine == trace[:T - 100] + trace[-1:], f"car {i} ({f})"
        expected = lap_rows((tmp_path / "laps.csv").read_text())
        assert [(int(r["laps_done"]), int(r["last_ticks"]), int(r["last_cones"]), "%.2f" % r["last_total"])
                for r in laps[i]] == expected, f"car {i}"


# Catches a course drawn unlike the game's (cones, next gate, timing box) or from another car's race.
def test_frames_on_a_course_are_caravelt_sims(tmp_path):
    clean = course_script("figure8")
    ragged = np.concatenate([clean[:600], np.full(300, caravelt.UP | caravelt.RIGHT, np.uint16)])
    fleet = caravelt.Fleet([caravelt.Car(), caravelt.Car()], caravelt.COURSES["figure8"])
    for keys in (ragged, clean):
        fleet.reset()
        fleet.rollout(np.stack([np.zeros_like(keys), keys]))
        bmp = tmp_path / "frame.bmp"
        sim("--course", caravelt.COURSES["figure8"], "--frame", str(bmp), "--data", DATA, "--trace", "/dev/null",
            script=script_text((1, m) for m in keys))
        assert (caravelt.frame(fleet, 1) == read_bmp(bmp)).all()
    assert fleet.laps["finished"][1] and not fleet.laps["in_lap"][0]
