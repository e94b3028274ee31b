"""Caravelt's car for Python: the game's own simulation, exact to the bit.

    PYTHONPATH=build/python /usr/bin/python3 -c 'import caravelt'

- Car(path=None, **fields): a car's parameters: the preset, a car file,
  fields by name (rounded as the same number in a car file would be).
- UP, DOWN, LEFT, RIGHT, A, Z, X, R, Q: the driving keys' bits, 1 to 256;
  a tick's keys are their sum, 0 to 511.
- Course(path): a course file; COURSES names the shipped ones.
- Fleet(cars, course=None, threads=0, *, n=None): many cars, each from
  the start state; fleet.state, fleet.laps, fleet.step(keys, ticks=1),
  fleet.rollout(keys), fleet.reset(which=None).
- run(script, car=None, course=None, force=False): a caravelt-sim
  script's trace; NotFinite when a tick's state stops being finite.
- sheet(car=None, shift=6000): the handling sheet's figures, by column.
- frame(fleet, i): the game's driving view of car i, (768, 1024, 3) uint8.
- CarEnv(car=None, course=None, render_mode=None, max_seconds=60.0,
  ticks_per_step=1) and VectorEnv(n, ...): a car on a course as a
  learning agent's environment, with Gymnasium's interface.

One tick is 0.01 s.  Nothing here converts an array it is given: the
wrong dtype, shape or memory order is refused (TypeError or ValueError
naming the parameter), as is a mask above 511, an unknown car field or an
index out of range.
"""

import collections
import decimal
import errno
import numbers
import os
import sys

import numpy as np

from . import _caravelt
from ._caravelt import UP, DOWN, LEFT, RIGHT, A, Z, X, R, Q, CAR_FIELDS, DATA_DIR, SHEET_COLUMNS, SHEET_LAP_COLUMNS

__all__ = ["Car", "Course", "COURSES", "Fleet", "run", "NotFinite", "write_recording", "frame", "sheet", "SHEET_COLUMNS",
           "SHEET_LAP_COLUMNS", "best_lap", "BestLap", "CarEnv", "VectorEnv", "OBSERVATION",
           "GATE_REWARD", "SECOND_COST", "UP", "DOWN", "LEFT", "RIGHT", "A",
           "Z", "X", "R", "Q", "CAR_FIELDS", "DATA_DIR"]


def _existing_file(path, what):
    """path as bytes, as the file system names it (any name, UTF-8 or not),
    naming a file there is (FileNotFoundError if none)."""
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"{what} must be a path (str, bytes or os.PathLike), not {type(path).__name__}")
    path = os.fsencode(path)
    if not os.path.exists(path):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), os.fsdecode(path))
    return path


def _number_text(name, value):
    """The decimal text a car file would hold for value: Python's repr of
    a float (which reads back as the same double), an int's digits, a
    Decimal's own digits (rounded once, as the same text in a file)."""
    if isinstance(value, decimal.Decimal):
        return format(value, "f")
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} takes a number, not {type(value).__name__}")
    if isinstance(value, numbers.Integral):
        return str(int(value))
    return repr(float(value))


class Car(_caravelt.Car):
    """A car's parameters: the preset (the game's compiled-in car), or the
    car file at path, with keyword fields on top of either:

        Car("data/cars/light.toml", Mass=950, GearReduction=[...9 ratios])

    Fields are named as in a car file and read as attributes (GearReduction
    as a tuple of nine; one entry is set as **{"GearReduction[3]": 2.2}).
    A decimal.Decimal is taken as its digits, as a car file's text.  A
    refused file or value raises ValueError with the car file's own
    message; a file that is not there FileNotFoundError.  A Car does not
    change once made; it compares, hashes and pickles by its values, bit
    for bit, and a pickle becomes a Car only as a car file would.  hash is
    its parameters' hash, as a recording's header names the car by."""

    __slots__ = ()

    def __init__(self, path=None, **fields):
        _once(self)
        super().__init__(None if path is None else _existing_file(path, "path"), _field_texts(fields))

    def fields(self):
        """Every field by name, in the record's order."""
        return {name: getattr(self, name) for name in CAR_FIELDS}

    def __reduce__(self):
        return _car_from_fields, (self.fields(),)

    def __repr__(self):
        preset = Car()
        changed = ", ".join(f"{name}={value!r}" for name, value in self.fields().items()
                            if value != getattr(preset, name))
        return f"caravelt.Car({changed})"


def _progress(progress, what):
    """A long call's progress, told (done, total): progress True shows a
    bar (tqdm's, when Debian's python3-tqdm is there; else a line on
    standard error, rewritten in place), a callable is called, None and
    False show nothing."""
    if progress is None or progress is False:
        return None
    if callable(progress):
        return progress
    if progress is not True:
        raise TypeError(f"progress must be True, False, None or a callable, not {type(progress).__name__}")
    return _Bar(what)


class _Bar:
    """progress=True: tqdm's bar, or a plain line without tqdm."""

    def __init__(self, what):
        self.what, self.bar, self.shown = what, None, 0

    def __call__(self, done, total):
        try:
            from tqdm import tqdm
        except ImportError:
            tqdm = None
        if tqdm is not None:
            if self.bar is None:
                self.bar = tqdm(total=total, unit=" " + self.what, unit_scale=True, leave=False)
            self.bar.update(done - self.shown)
            if done >= total:
                self.bar.close()
        else:
            end = "\n" if done >= total else ""
            sys.stderr.write(f"\r{done:.0f} of {total:.0f} {self.what} ({100 * done // max(total, 1):.0f}%){end}")
            sys.stderr.flush()
        self.shown = done


def _once(obj):
    """A TypeError for an object made already: none changes once made."""
    if obj._is_made:
        raise TypeError(f"a {type(obj).__name__} does not change once made: make another")


def _field_texts(fields):
    """(name, decimal text) of each keyword field, GearReduction entry by entry."""
    texts = []
    for name, value in fields.items():
        if name == "GearReduction":
            if isinstance(value, (str, bytes)) or not hasattr(value, "__len__"):
                raise TypeError(f"GearReduction takes 9 numbers, not {type(value).__name__}")
            if len(value) != 9:
                raise ValueError(f"GearReduction takes exactly 9 numbers (reverse, neutral, gears 1 to 7), "
                                 f"not {len(value)}")
            texts += [(f"GearReduction[{k}]", _number_text(f"GearReduction[{k}]", v)) for k, v in enumerate(value)]
        else:
            texts.append((name, _number_text(name, value)))
    return texts


def _car_from_fields(fields):
    """A pickled Car: its fields, each checked as a car file's value is."""
    if not isinstance(fields, dict):
        raise ValueError("not a pickle of a Car: its fields are not a dict")
    return Car(**fields)


class Course(_caravelt.Course):
    """A course: gates and cones on the tarmac, read from a course file
    and checked as the game checks it (a refusal is a ValueError with the
    file's own message; a file that is not there FileNotFoundError).

    name, laps (0: no limit), penalty (s per cone), start (x m, y m,
    heading deg), gates (an array of shape (gates, 2, 2): each gate's ends
    a and b, x and y in metres), cones (shape (cones, 2)), hash.  A
    Course does not change once made; fleets and environments share it.
    It pickles as its file's text, read again as the file would be."""

    __slots__ = ()

    def __init__(self, path):
        _once(self)
        super().__init__(_existing_file(path, "path"))

    def __repr__(self):
        return (f"<caravelt.Course {self.name!r}: {len(self.gates)} gates, {len(self.cones)} cones, "
                f"{self.laps or 'no limit of'} laps>")


def _course_from_text(name, text):
    """A pickled Course: its file's text, read as the file would be."""
    if not isinstance(name, str) or not isinstance(text, bytes):
        raise ValueError("not a pickle of a Course")
    course = Course.__new__(Course)
    _caravelt.Course.__init__(course, os.fsencode(name + ".toml"), text)
    return course


def _shipped_courses():
    folder = os.path.join(DATA_DIR, "courses")
    try:
        names = sorted(f for f in os.listdir(folder) if f.endswith(".toml"))
    except OSError:
        return {}
    return {f[:-len(".toml")]: os.path.join(folder, f) for f in names}


COURSES = _shipped_courses()
"""The shipped courses' files by name: COURSES["slalom"] is its path."""


def _course(course):
    """course as a Course: one already, or a course file's path; None stays."""
    if course is None or isinstance(course, _caravelt.Course):
        return course
    return Course(course)


def _threads(threads):
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads must be an int, not {type(threads).__name__}")
    if threads < 0:
        raise ValueError(f"threads must be 0 (every core) or more, not {threads}")
    return int(threads) or len(os.sched_getaffinity(0))


class Fleet(_caravelt.Fleet):
    """n independent cars, each from the start state: Fleet([car, ...]),
    or Fleet(car, n=1024) for n of one car (the preset when car is None).

    course: a Course or a course file's path.  Every car then starts at
    its start (where R puts it too) and its laps are counted after each
    tick, as the game counts them.

    - state: a read-only numpy structured array of n rows, one field per
      column of caravelt-sim's trace but tick (x, y, AxisAngle, ...
      float32; Gear, KeyHeld, TractionSlip int32): a view of the cars,
      the same array always, changing as they drive.
    - step(keys, ticks=1, progress=None): keys a C-order uint16 array of
      n masks, or one int for every car, held for that many ticks.
    - rollout(keys, progress=None): keys a C-order uint16 array of shape
      (n, T), car i holding keys[i, t] in its tick t; returns the state
      after every tick, shape (n, T), with the fields of state.  Runs with
      the interpreter's lock released, split over the fleet's threads.
      progress (step and rollout): True shows a bar (tqdm's, or a plain
      line), a callable gets (ticks done, ticks in all) as it goes.
    - reset(which=None): cars back to the start state: all, a boolean
      mask of n, or indices (negative ones count from the end); on a
      course, with nothing counted.
    - laps: with a course, a read-only structured array of n rows taken
      after every step, rollout and reset (the same array always):
      laps_done, in_lap, next_gate, lap_ticks and lap_cones (the lap in
      progress), last_ticks, last_cones, last_total (the last lap
      completed, total in s with the penalties), best_lap, best_ticks,
      best_cones, best_total (the lap of least total), finished, ticks
      (counted since the start or reset).  A lap not there has 0 ticks
      and a NaN total.  None without a course.

    threads: how many threads a step or rollout may use (no more than
    there are cars), 0 for every core this process may run on.  The cars
    drive the same to the bit, however many."""

    __slots__ = ()

    def __init__(self, cars=None, course=None, threads=0, *, n=None):
        _once(self)
        if cars is None or isinstance(cars, _caravelt.Car):
            if n is None:
                n = 1
            if isinstance(n, bool) or not isinstance(n, numbers.Integral):
                raise TypeError(f"n must be an int, not {type(n).__name__}")
            if n < 1:
                raise ValueError(f"n must be 1 or more, not {n}")
            cars = [cars if cars is not None else Car()] * int(n)
        else:
            if n is not None:
                raise ValueError("n is for one car made n times; a list of cars gives its own length")
            if isinstance(cars, (str, bytes)) or not hasattr(cars, "__iter__"):
                raise TypeError(f"cars must be a Car or a list of Car, not {type(cars).__name__}")
            cars = list(cars)
            for i, c in enumerate(cars):
                if not isinstance(c, _caravelt.Car):
                    raise TypeError(f"cars[{i}] must be a Car, not {type(c).__name__}")
        super().__init__(cars, _course(course), min(_threads(threads), len(cars)))

    def step(self, keys, ticks=1, progress=None):
        self._step(keys, ticks, _progress(progress, "ticks"))

    def rollout(self, keys, progress=None):
        return self._rollout(keys, _progress(progress, "ticks"))

    def __reduce__(self):
        return _fleet_from_state, (self.__getstate__(),)

    def __setstate__(self, state):
        _once(self)
        _caravelt.Fleet.__setstate__(self, state)

    def reset(self, which=None):
        n = len(self)
        if which is None:
            self._reset(np.arange(n, dtype=np.int64))
            return
        if isinstance(which, bool):
            raise TypeError("which must be None, a boolean mask or indices, not bool")
        if isinstance(which, numbers.Integral):
            which = [which]
        which = np.asarray(which)
        if which.size == 0:
            return
        if which.dtype == np.bool_:
            if which.shape != (n,):
                raise ValueError(f"which as a mask must have shape ({n},), not {which.shape}")
            self._reset(np.flatnonzero(which).astype(np.int64))
            return
        if which.dtype.kind not in "iu":
            raise TypeError(f"which must be None, a boolean mask or integer indices, not {which.dtype}")
        if which.ndim != 1:
            raise ValueError(f"which as indices must be one-dimensional, not shape {which.shape}")
        bad = (which < -n) | (which >= n)
        if bad.any():
            raise ValueError(f"which: index {which[bad][0]} is out of range for {n} cars")
        self._reset(np.where(which < 0, which + n, which).astype(np.int64))


def _fleet_from_state(state):
    """A pickled Fleet: its cars and laps, each checked before it is one."""
    fleet = Fleet.__new__(Fleet)
    _caravelt.Fleet.__setstate__(fleet, state)
    return fleet


def _script_source(script):
    """("file", path as bytes) or ("text", text) for what run was given."""
    if isinstance(script, (os.PathLike, bytes)):
        return "file", _existing_file(script, "script")
    if not isinstance(script, str):
        raise TypeError(f"script must be a script's text (str) or a path, not {type(script).__name__}")
    if "\n" not in script and script.strip() and os.path.isfile(script):
        return "file", os.fsencode(script)
    return "text", script


class NotFinite(ArithmeticError):
    """A tick left the car's state not a finite number (an extreme car):
    the drive stops there, as caravelt-sim's does.  tick: that tick;
    variable: the first state variable not finite; rows: the trace up to
    the tick before."""

    def __init__(self, message, tick, variable, rows):
        super().__init__(message)
        self.tick = tick
        self.variable = variable
        self.rows = rows


def _given(value, kind, what):
    """(the value, its name for messages) for run's car or course."""
    if value is None:
        return None, b""
    if isinstance(value, kind):
        return value, f"the {what} given".encode()
    path = os.fsencode(value) if isinstance(value, (str, bytes, os.PathLike)) else None
    made = Car(value) if kind is _caravelt.Car else Course(value)
    return made, path


def _our_words(error):
    """A refusal worded for caravelt-sim's options, in run's arguments."""
    text = str(error)
    for option, argument in (("--car", "car="), ("--course", "course="), ("--force", "force=True")):
        text = text.replace(option, argument)
    return text


def run(script, car=None, course=None, force=False):
    """The trace of a caravelt-sim script driven headless from the start
    state: a numpy structured array, one row per tick, with tick (int64,
    1 for the first) and the fields of Fleet.state.  Each value printed as
    C's %.9g (floats) or %d is caravelt-sim's trace, byte for byte.

    script: the script's text, or the path of a script file (an
    os.PathLike, or a str of one line naming a file that exists).  car: a
    Car, a car file's path, or None.  course: a Course, a course file's
    path, or None.  As in caravelt-sim, a recording of the game runs with
    the car and on the course its header names (None: its own; a car or
    course given must hash as recorded) and is refused otherwise, unless
    force; any other script runs with the car given (the preset for None)
    on the course given.  On a course the car starts at its start, and R
    puts it there.

    A bad line or a refused recording raises ValueError ("script:3:
    unknown key ..."), before any tick.  A tick whose state stops being a
    finite number raises NotFinite (an ArithmeticError), the rows up to it
    on it.  A trace larger than this machine's memory raises MemoryError
    before any tick; Ctrl-C stops a long run (KeyboardInterrupt)."""
    car, car_name = _given(car, _caravelt.Car, "car")
    course, course_name = _given(course, _caravelt.Course, "course")
    force = bool(force)
    kind, source = _script_source(script)
    try:
        if kind == "file":
            rows, fault = _caravelt._run_file(source, car, car_name, course, course_name, force)
        else:
            rows, fault = _caravelt._run_text(source, "script", car, car_name, course, course_name, force)
    except ValueError as e:
        message = _our_words(e)
        if kind == "text" and "\n" not in source and source.strip():
            message += f" (and there is no file \"{source}\")"
        raise ValueError(message) from None
    if fault is not None:
        message, tick, variable = fault
        raise NotFinite(message, tick, variable, rows)
    return rows


def write_recording(path, keys, course=None, car=None):
    """Writes keys (a uint16 array, one mask a tick, as a fleet takes
    them) to path as a recording the game writes: its header names the
    car (car: a car file's path, named by its absolute path, or None for
    the preset) and the course (a course file's path, or a shipped
    course's name), so that the game replays it (--replay) and races it
    as a ghost (--ghost), and caravelt-sim and run() replay it, each
    from the course's start.  The file is written whole, then renamed
    into place: nothing half-written is ever there."""
    if car is not None and not isinstance(car, (str, bytes, os.PathLike)):
        raise TypeError(f"car must be a car file's path (or None for the preset), not {type(car).__name__}")
    car_file = None if car is None else _existing_file(car, "car")
    course_file = None
    track = None
    if course is not None:
        if isinstance(course, str) and course in COURSES:
            course = COURSES[course]
        if not isinstance(course, (str, bytes, os.PathLike)):
            raise TypeError(f"course must be a course file's path or a shipped course's name, not "
                            f"{type(course).__name__}")
        course_file = _existing_file(course, "course")
        track = Course(course_file)
    path = os.fsencode(path)
    text = _caravelt._recording_text(keys, path, car_file, Car(car_file) if car_file else Car(), course_file, track)
    temporary = path + b".part"
    with open(temporary, "wb") as f:
        f.write(text)
    os.replace(temporary, path)


def _car(car):
    """car as a Car: one already, a car file's path, or None for the preset."""
    if car is None:
        return Car()
    return car if isinstance(car, _caravelt.Car) else Car(car)


def _whole(value, what):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    return int(value)


def sheet(car=None, shift=6000, course=None, drives=3000):
    """The handling sheet of a car (a Car, a car file's path, or None for
    the preset), as caravelt-sim --sheet measures it, shifting up at
    `shift` rev/min: a dict by SHEET_COLUMNS, in the sheet's order, each
    the number the sheet prints (t50_s 21.79, top_gear 5, circle_kmh
    280, ...; None where it prints "-"); with a course (a Course or a
    course file's path), SHEET_LAP_COLUMNS after them, the best lap the
    driver finds in `drives` drives (as --sheet --course
    --budget-drives); then "fault": None, or why the car's state stopped
    being finite (every figure None then).  Some milliseconds without a
    course, with the interpreter's lock released: threads measure cars
    side by side."""
    car = _car(car)
    if isinstance(shift, bool) or not isinstance(shift, numbers.Real):
        raise TypeError(f"shift must be a number (rev/min), not {type(shift).__name__}")
    return _caravelt._sheet(car, float(shift), _course(course), _whole(drives, "drives"))


BestLap = collections.namedtuple("BestLap", "time cones keys laps drives")
BestLap.__doc__ = """best_lap's answer: time, the best lap's total in seconds
(its time: no cone); cones, 0; keys, the drive's masks (uint16, one a
tick, from the start to the tick of the last lap); laps, one row per
lap (lap, start_tick, ticks, cones, time_s, total_s and the splits
gate2_s, ...: --laps's columns); drives, how many the search ran."""


def best_lap(car=None, course=None, budget=10, seed=1, drives=None, threads=0, standing=False, progress=None):
    """The fastest clean laps of a course (a Course or a course file's
    path) that the driver finds for a car (a Car, a car file's path, or
    None for the preset), as caravelt-sim --best-lap: every lap of the
    course (one when it has no limit), every gate, no cone.  budget:
    seconds of search; drives, when given, a number of drives instead,
    whose keys are the same for a seed on any number of threads.
    threads: 0 for every core.  standing: from a standing start, the
    countdown first, as the game's time trial begins (the keys then
    include the countdown's 300 ticks).  progress: True shows a bar of the
    drives (or seconds) done, a callable is told (done, total) after each
    generation.  Returns a BestLap; a course it finds no clean drive of
    raises RuntimeError saying how far it got.  The interpreter's lock is
    released while it searches; Ctrl-C stops it."""
    car = _car(car)
    if course is None:
        raise TypeError("best_lap needs a course")
    course = _course(course)
    if isinstance(budget, bool) or not isinstance(budget, numbers.Real):
        raise TypeError(f"budget must be a number (seconds), not {type(budget).__name__}")
    if drives is not None and _whole(drives, "drives") < 1:
        raise ValueError(f"drives must be 1 or more, not {drives}")
    clean, keys, laps, ran, gates, laps_done = _caravelt._best_lap(
        car, course, float(budget), drives or 0, _whole(seed, "seed"), _threads(threads), bool(standing),
        _progress(progress, "drives" if drives else "s"))
    if not clean:
        wanted = course.laps or 1
        raise RuntimeError(f"no clean drive of {course.name!r} found in {ran} drives: the best passed "
                           f"{gates} of {wanted * len(course.gates) + 1} gates ({laps_done} of {wanted} laps)")
    return BestLap(float(laps["total_s"].min()), 0, keys, laps, ran)


def frame(fleet, i, data=None):
    """The game's driving view of car i of the fleet, drawn by the game's
    own drawing code: a (768, 1024, 3) uint8 array, rows from the top,
    red, green, blue; equal to caravelt-sim --frame pixel for pixel.

    data: the folder of the game's pictures (tarmac.bmp, car/kvtcar.bmp),
    this tree's data/ by default.  Drawn on the calling thread."""
    if not isinstance(fleet, _caravelt.Fleet):
        raise TypeError(f"fleet must be a caravelt.Fleet, not {type(fleet).__name__}")
    folder = os.fsencode(DATA_DIR if data is None else data)
    return _caravelt._frame(fleet, i, folder)


from .env import CarEnv, VectorEnv, OBSERVATION, GATE_REWARD, SECOND_COST, NEXT_STEP, SAME_STEP  # noqa: E402
from . import env as _env  # noqa: E402
_env.register()
