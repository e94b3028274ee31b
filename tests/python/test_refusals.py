"""Every refusal: the right exception with a message naming what is wrong,
raised before anything runs, and never a crash (this file also runs with
the module built under AddressSanitizer)."""
import decimal
from pathlib import Path

import numpy as np
import pytest

import caravelt
from caravelt import Car, Course, Fleet
from conftest import packed

N = 3
fleet = Fleet(Car(), n=N, threads=2)
keys1 = np.zeros(N, np.uint16)
keys2 = np.zeros((N, 4), np.uint16)
too_high = np.array([0, 512, 0], np.uint16)
too_high2 = keys2.copy()
too_high2[2, 3] = 600
course_fleet = Fleet(Car(), caravelt.COURSES["slalom"], n=N)
env = caravelt.CarEnv(max_seconds=0.01)
envs = caravelt.VectorEnv(N)
envs.reset()
SLALOM = caravelt.COURSES["slalom"]

REFUSALS = [
    # Cars: the car file's own messages (its checks are the car file's tests'), the types here.
    (lambda t: Car(Mas=1), ValueError, 'unknown field "Mas" (did you mean "Mass"?)'),
    (lambda t: Car(GearMax=5.0), ValueError, "GearMax takes an integer"),
    (lambda t: Car(GearReduction=[1, 2]), ValueError, "exactly 9"),
    (lambda t: Car(GearReduction=3), TypeError, "GearReduction takes 9"),
    (lambda t: Car(Mass="950"), TypeError, "Mass takes a number"),
    (lambda t: Car(Mass=True), TypeError, "Mass takes a number"),
    (lambda t: Car(t / "nowhere.toml"), FileNotFoundError, "nowhere.toml"),
    (lambda t: Car(3), TypeError, "path must be a path"),
    (lambda t: (t / "b.toml").write_text("Mass = 900\nMass = 901\n") and Car(t / "b.toml"), ValueError, "b.toml:2:"),
    # Fleets.
    (lambda t: Fleet([]), ValueError, "at least one car"),
    (lambda t: Fleet([Car(), "light"]), TypeError, "cars[1] must be a Car"),
    (lambda t: Fleet(Car(), n=0), ValueError, "n must be 1 or more"),
    (lambda t: Fleet([Car()], n=2), ValueError, "n is for one car"),
    (lambda t: Fleet(threads=-1), ValueError, "threads must be 0"),
    (lambda t: Fleet(threads=1.5), TypeError, "threads must be an int"),
    # Keys: the dtype, the shape, the memory order, the masks; never converted.
    (lambda t: fleet.step(np.zeros(N, np.int64)), TypeError, "keys must have dtype uint16"),
    (lambda t: fleet.step(np.zeros(N, ">u2")), TypeError, "keys must have dtype uint16"),
    (lambda t: fleet.step([0] * N), TypeError, "keys must be a numpy array of dtype uint16"),
    (lambda t: fleet.step(1.0), TypeError, "keys must be a numpy array"),
    (lambda t: fleet.step(np.zeros(N + 1, np.uint16)), ValueError, "keys must have shape (n,)"),
    (lambda t: fleet.step(keys2), ValueError, "keys must have shape (n,)"),
    (lambda t: fleet.step(np.zeros(2 * N, np.uint16)[::2]), ValueError, "C-contiguous"),
    (lambda t: fleet.step(too_high), ValueError, "keys[1] is 512"),
    (lambda t: fleet.step(512), ValueError, "keys is 512"),
    (lambda t: fleet.step(-1), ValueError, "keys is -1"),
    (lambda t: fleet.step(2 ** 70), ValueError, "keys is out of range"),
    (lambda t: fleet.step(0, ticks=0), ValueError, "ticks must be 1 or more"),
    (lambda t: fleet.step(0, ticks=2.0), TypeError, "ticks must be an int"),
    (lambda t: fleet.rollout(keys1), ValueError, "keys must have shape (n, T)"),
    (lambda t: fleet.rollout(too_high2), ValueError, "keys[2, 3] is 600"),
    (lambda t: fleet.rollout(3), TypeError, "keys must be a numpy array"),
    # Which cars.
    (lambda t: fleet.reset([N]), ValueError, f"index {N} is out of range"),
    (lambda t: fleet.reset(-N - 1), ValueError, "out of range"),
    (lambda t: fleet.reset(np.ones(N + 1, bool)), ValueError, "mask must have shape"),
    (lambda t: fleet.reset([0.5]), TypeError, "integer indices"),
    (lambda t: fleet.reset(True), TypeError, "not bool"),
    (lambda t: caravelt.frame(fleet, N), ValueError, f"{N} is out of range"),
    (lambda t: caravelt.frame(fleet, 0.0), TypeError, "i must be an int"),
    (lambda t: caravelt.frame("fleet", 0), TypeError, "fleet must be a caravelt.Fleet"),
    (lambda t: caravelt.frame(fleet, 0, data=t), ValueError, "cannot load"),
    (lambda t: np.copyto(fleet.state["x"], 1), ValueError, "read-only"),
    (lambda t: fleet.state.setflags(write=True), ValueError, "WRITEABLE"),
    # Courses.
    (lambda t: (t / "c.toml").write_text("start = { x = 1.0, y = 1.0, heading = 0.0 }\n[[gate]]\na = [1.0, 1.0]\n"
                                         "b = [110.0, 1.0]\n") and Course(t / "c.toml"),
     ValueError, "c.toml:4: gate 1's b (110, 1) is off the screen"),
    (lambda t: Course(t / "none.toml"), FileNotFoundError, "none.toml"),
    (lambda t: Fleet(Car(), 3), TypeError, "path must be a path"),
    (lambda t: caravelt.run("1 Up\n", course=t / "none.toml"), FileNotFoundError, "none.toml"),
    (lambda t: np.copyto(course_fleet.laps["laps_done"], 3), ValueError, "read-only"),
    # Environments.
    (lambda t: caravelt.CarEnv().step(0), RuntimeError, "step before reset()"),
    (lambda t: env.reset() and env.step(0) and env.step(0), RuntimeError, "the episode has ended"),
    (lambda t: env.reset() and env.step(512), ValueError, "action is 512: a key mask is 0 to 511"),
    (lambda t: env.reset() and env.step(2 ** 64), ValueError, "action is 18446744073709551616"),
    (lambda t: env.reset() and env.step(1.0), TypeError, "action must be an int"),
    (lambda t: env.reset() and env.step(True), TypeError, "action must be an int"),
    (lambda t: env.reset() and env.step(np.array([1])), TypeError, "action must be an int"),
    (lambda t: caravelt.CarEnv(max_seconds=float("inf")), ValueError, "max_seconds must be 0.01 (one tick) to"),
    (lambda t: caravelt.CarEnv(max_seconds=1e18), ValueError, "to 1e15, not 1e+18"),
    (lambda t: caravelt.CarEnv(max_seconds=0.015), ValueError, "whole number of ticks"),
    (lambda t: caravelt.CarEnv(max_seconds="60"), TypeError, "max_seconds must be a number"),
    (lambda t: caravelt.CarEnv(ticks_per_step=0), ValueError, "ticks_per_step must be 1 or more"),
    (lambda t: caravelt.CarEnv(ticks_per_step=2.0), TypeError, "ticks_per_step must be an int"),
    (lambda t: caravelt.CarEnv(render_mode="human"), ValueError, "render_mode must be None or one of"),
    (lambda t: caravelt.CarEnv(car="nowhere.toml"), FileNotFoundError, "nowhere.toml"),
    (lambda t: caravelt.CarEnv(course=t / "none.toml"), FileNotFoundError, "none.toml"),
    (lambda t: env.reset(options={"start": 1}), ValueError, "options takes max_seconds, not ['start']"),
    (lambda t: env.reset(seed=1.5), TypeError, "seed must be an int"),
    (lambda t: envs.step(np.zeros(N, np.float64)), TypeError, "actions must be integers"),
    (lambda t: envs.step(too_high), ValueError, "actions[1] is 512"),
    (lambda t: envs.step(0), ValueError, "actions must have shape (n,)"),
    (lambda t: envs.step(np.full(N, -1)), ValueError, "actions[0] is -1"),
    (lambda t: envs.reset(options={"reset_mask": np.zeros(N, bool)}), ValueError, "at least one True"),
    (lambda t: envs.reset(options={"reset_mask": np.ones(N + 1, bool)}), ValueError, "reset_mask'] must have shape"),
    (lambda t: envs.reset(seed=[1]), ValueError, "seed as a list must hold num_envs"),
    (lambda t: caravelt.VectorEnv(2, autoreset_mode="Disabled"), ValueError, "autoreset_mode must be"),
    (lambda t: caravelt.CarEnv(max_episode_steps=0), ValueError, "max_episode_steps must be 1 or more"),
    (lambda t: caravelt.VectorEnv(N).step(keys1), RuntimeError, "step before reset()"),
    (lambda t: caravelt.VectorEnv(0), ValueError, "num_envs must be 1 or more"),
    (lambda t: caravelt.VectorEnv(2, car=[Car()]), ValueError, "num_envs = 2 cars, not 1"),
    (lambda t: caravelt.VectorEnv(2, threads=-1), ValueError, "threads must be 0"),
    # The handling sheet.
    (lambda t: caravelt.sheet(shift=float("nan")), ValueError, "above 0, not nan"),
    (lambda t: caravelt.sheet(shift="6000"), TypeError, "shift must be a number"),
    (lambda t: caravelt.sheet(3), TypeError, "path must be a path"),
    (lambda t: caravelt.Car(Mass=decimal.Decimal("NaN")), ValueError, 'Mass takes a finite number, not "NaN"'),
    # Scripts: the parser's message passed on (its checks are caravelt-sim's tests').
    (lambda t: caravelt.run("1 Upp\n"), ValueError, 'script:1: unknown key "Upp"'),
    (lambda t: caravelt.run("drive.txt"), ValueError, 'no file "drive.txt"'),
    (lambda t: caravelt.run(5), TypeError, "script must be"),
    (lambda t: caravelt.run(Path(t / "none.txt")), FileNotFoundError, "none.txt"),
    (lambda t: caravelt.run("1 Up\n", car=5), TypeError, "path must be a path"),
    # The driver.
    (lambda t: caravelt.best_lap(), TypeError, "needs a course"),
    (lambda t: caravelt.best_lap(course=SLALOM, budget=0), ValueError, "budget must be seconds above 0"),
    (lambda t: caravelt.best_lap(course=SLALOM, drives=0), ValueError, "drives must be 1 or more"),
    (lambda t: caravelt.best_lap(course=SLALOM, drives=1, seed=1.5), TypeError, "seed must be an int"),
]


# Catches an argument converted instead of refused, a refusal that crashes or runs ticks
# first, and a message that does not say what is wrong.
@pytest.mark.parametrize("call,kind,words", REFUSALS, ids=[f"{i}:{r[2][:30]}" for i, r in enumerate(REFUSALS)])
def test_refused(call, kind, words, tmp_path):
    before = [packed(f.state).tobytes() for f in (fleet, course_fleet, envs.fleet)]
    laps = course_fleet.laps.tobytes()
    with pytest.raises(kind) as e:
        call(tmp_path)
    assert words in str(e.value)
    assert [packed(f.state).tobytes() for f in (fleet, course_fleet, envs.fleet)] == before
    assert course_fleet.laps.tobytes() == laps
