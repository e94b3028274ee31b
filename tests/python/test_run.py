"""caravelt.run, Fleet and the environments as caravelt-sim drives: a recording with the car and
course its header names (or the same refusal), and a state no longer finite stopped at its tick."""
import os
import subprocess

import numpy as np
import pytest

import caravelt
from conftest import SIM, DATA, packed, trace_text

# Leaves the finite within a second of A, then Up and Right.
WILD = "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n"
KEYS = "1 A\n300 Up Right\n"


def recording(path, car_file=None, course_file=None):
    """A recording of KEYS with the header the game writes."""
    car = caravelt.Car(car_file) if car_file else caravelt.Car()
    lines = ["# caravelt recording, begun 2026-01-01 00:00:00 UTC",
             f"# car: {car_file or 'preset'}, parameters hash {car.hash:016x}"]
    if course_file:
        lines.append(f"# course: {course_file}, hash {caravelt.Course(course_file).hash:016x}")
    open(path, "w").write("\n".join(lines) + "\n" + KEYS)


def by_sim(*args):
    """(status, stderr, trace rows without their header line) of caravelt-sim."""
    done = subprocess.run([SIM, *args], capture_output=True)
    return done.returncode, done.stderr.decode(), done.stdout.decode().split("\n", 1)[-1]


@pytest.fixture
def files(tmp_path):
    (tmp_path / "light.toml").write_text("Mass = 950\nG = 1.1\n")
    (tmp_path / "wild.toml").write_text(WILD)
    (tmp_path / "keys.txt").write_text(KEYS)
    slalom = os.path.join(DATA, "courses", "slalom.toml")
    recording(tmp_path / "light.rec", str(tmp_path / "light.toml"))
    recording(tmp_path / "slalom.rec", course_file=slalom)
    recording(tmp_path / "wild.rec", str(tmp_path / "wild.toml"))
    return tmp_path, slalom


# Catches the runner ignoring the header's car or course: the trace is caravelt-sim's, and the
# bare keys' with that car or course given.
def test_run_drives_a_recording_as_caravelt_sim_does(files):
    d, slalom = files
    for rec, same in (("light.rec", ["--car", str(d / "light.toml")]), ("slalom.rec", ["--course", slalom])):
        status, err, out = by_sim("--trace", "-", str(d / rec))
        assert status == 0, err
        assert out == by_sim("--trace", "-", *same, str(d / "keys.txt"))[2]
        assert trace_text(caravelt.run(d / rec)) == out, rec


# Catches the runner blind to the header's start line: the gold target, from a standing start,
# runs as caravelt-sim runs it and as its bare keys with --standing-start.
def test_run_drives_a_standing_start_as_its_header_says(files):
    d, slalom = files
    gold = os.path.join(DATA, "courses", "targets", "slalom-gold.rec")
    status, err, out = by_sim("--course", slalom, "--trace", "-", gold)
    assert status == 0, err
    (d / "gold-keys.txt").write_text("".join(line for line in open(gold) if not line.startswith("#")))
    assert out == by_sim("--course", slalom, "--standing-start", "--trace", "-", str(d / "gold-keys.txt"))[2]
    rows = caravelt.run(gold, course=slalom)
    assert trace_text(rows) == out
    assert rows["x"][299] == rows["x"][0] and rows["x"][300] != rows["x"][0]
    assert trace_text(caravelt.run(d / "gold-keys.txt", course=slalom)) != out


# Catches a car not the recording's driven silently: the same refusal in run's words; force as --force.
def test_a_recording_refused_by_caravelt_sim_is_refused_by_run(files):
    d, _ = files
    other = str(d / "other.toml")
    open(other, "w").write("Mass = 1500\n")
    status, err, _ = by_sim("--car", other, "--trace", "/dev/null", str(d / "light.rec"))
    assert status == 2
    with pytest.raises(ValueError) as e:
        caravelt.run(d / "light.rec", car=other)
    assert str(e.value) == (err.strip().replace("caravelt-sim: ", "").replace("--car", "car=")
                            .replace("--force", "force=True"))
    forced = caravelt.run(d / "light.rec", car=caravelt.Car(other), force=True)
    assert trace_text(forced) == by_sim("--car", other, "--trace", "-", str(d / "keys.txt"))[2]


# Catches a run or fleet going on into NaN: run raises NotFinite at caravelt-sim's tick with its
# rows, a fleet flags the car there and runs it no further, an environment ends the episode.
def test_a_state_no_longer_finite_stops_every_front_end_at_its_tick(files):
    d, _ = files
    status, err, out = by_sim("--trace", "-", str(d / "wild.rec"))
    assert status == 1
    with pytest.raises(caravelt.NotFinite) as e:
        caravelt.run(d / "wild.rec")
    assert isinstance(e.value, ArithmeticError)
    assert str(e.value) == err.strip().replace("caravelt-sim: ", "")
    assert trace_text(e.value.rows) == out
    assert f"tick {e.value.tick}: {e.value.variable} became" in err

    wild = caravelt.Car(d / "wild.toml")
    fleet = caravelt.Fleet([wild, caravelt.Car()])
    fleet.step(np.array([caravelt.A, caravelt.A], np.uint16))
    fleet.step(caravelt.UP | caravelt.RIGHT, ticks=300)
    assert fleet.fault[1] is None
    assert fleet.fault[0].startswith(f"tick {e.value.tick}: {e.value.variable} became"), fleet.fault
    kept = fleet.state.copy()
    rows = fleet.rollout(np.full((2, 20), caravelt.UP, np.uint16))
    assert packed(kept[:1]).tobytes() == packed(fleet.state[:1]).tobytes()
    assert rows[0, -1].tobytes() == rows[0, 0].tobytes()
    fleet.reset(0)
    assert fleet.fault[0] is None

    env = caravelt.CarEnv(car=wild)
    env.reset(), env.step(caravelt.A)
    for _ in range(300):
        obs, reward, terminated, truncated, info = env.step(caravelt.UP | caravelt.RIGHT)
        if terminated:
            break
    assert terminated and "fault" in info and np.isfinite(reward)
