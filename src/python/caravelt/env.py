"""A car on a course as an environment for learning agents, with the
interface of the usual reinforcement-learning libraries (Gymnasium's Env
and VectorEnv), without depending on one.

An action is a key mask, 0 to 511 (the sum of caravelt.UP ... Q), held
for ticks_per_step ticks of 0.01 s.  The observation is OBSERVATION's
twenty float32 values: the car's state and where the next gate lies from
it.  The reward is a point (GATE_REWARD) per gate passed in order, less
SECOND_COST for each second driven and each second of penalty a knocked
cone costs; a lap abandoned with R gives its gates back.  An episode is
terminated when the course's last lap is done, truncated after
max_seconds.  The same actions after reset() give the same observations,
always: nothing in the car or the course is random.
"""

import math
import numbers

import numpy as np

from . import _caravelt
from .spaces import Box, Discrete, MultiDiscrete

OBSERVATION = _caravelt.OBSERVATION
GATE_REWARD = _caravelt.GATE_REWARD
SECOND_COST = _caravelt.SECOND_COST

# Bounds an observation entry never leaves (the rest are unbounded).
_BOUNDS = {"slip": (-180, 180), "heading_sin": (-1, 1), "heading_cos": (-1, 1), "x": (0, 102.4),
           "y": (0, 76.8), "KeyHeld": (0, 1), "TractionSlip": (0, 1), "Gear": (-1, 7)}


def _observation_bounds(max_seconds):
    low = np.full(len(OBSERVATION), -np.inf, np.float32)
    high = np.full(len(OBSERVATION), np.inf, np.float32)
    for i, name in enumerate(OBSERVATION):
        if name in _BOUNDS:
            low[i], high[i] = _BOUNDS[name]
    i = OBSERVATION.index("seconds_left")
    low[i], high[i] = 0, max_seconds
    return low, high


def _whole(value, name):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    return int(value)


def _max_ticks(max_seconds):
    """max_seconds as whole ticks (0.01 s each)."""
    if isinstance(max_seconds, bool) or not isinstance(max_seconds, numbers.Real):
        raise TypeError(f"max_seconds must be a number, not {type(max_seconds).__name__}")
    if not math.isfinite(max_seconds) or not 0.01 <= max_seconds <= 1e15:
        raise ValueError(f"max_seconds must be 0.01 (one tick) to 1e15, not {max_seconds}")
    ticks = round(max_seconds * 100)
    if abs(ticks - max_seconds * 100) > 1e-6 * ticks:
        raise ValueError(f"max_seconds must be a whole number of ticks (0.01 s), not {max_seconds}")
    return ticks


def _render_mode(render_mode, modes):
    if render_mode is not None and render_mode not in modes:
        raise ValueError(f"render_mode must be None or one of {modes}, not {render_mode!r}")
    return render_mode


class _Common:
    """What CarEnv and VectorEnv share: construction, reset's seeding,
    render, close."""

    metadata = {"render_modes": ["rgb_array"], "render_fps": 100}
    spec = None

    def _setup(self, fleet, render_mode, max_seconds, ticks_per_step):
        ticks_per_step = _whole(ticks_per_step, "ticks_per_step")
        max_ticks = _max_ticks(max_seconds)
        _caravelt._Env.__init__(self, fleet, ticks_per_step, max_ticks)
        self.render_mode = _render_mode(render_mode, self.metadata["render_modes"])
        self.max_seconds = max_ticks / 100
        self.metadata = dict(self.metadata, render_fps=100 / ticks_per_step)
        self.np_random = np.random.default_rng()
        self._obs_low, self._obs_high = _observation_bounds(self.max_seconds)

    def _seed(self, seed, options):
        if options is not None and (not isinstance(options, dict) or options):
            raise ValueError(f"options takes nothing here (None or {{}}), not {options!r}")
        if seed is not None:
            seed = _whole(seed, "seed")
            self.np_random = np.random.default_rng(seed)
            self.action_space.seed(int(self.np_random.integers(2 ** 63)))
            self.observation_space.seed(int(self.np_random.integers(2 ** 63)))

    @property
    def unwrapped(self):
        return self

    @property
    def course(self):
        return self.fleet.course

    def close(self):
        """Nothing to release: the cars are plain memory."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


class CarEnv(_Common, _caravelt._Env):
    """One car on a course, one episode at a time:

        env = caravelt.CarEnv(course=caravelt.COURSES["slalom"])
        obs, info = env.reset(seed=1)
        obs, reward, terminated, truncated, info = env.step(caravelt.UP)

    car: a Car, a car file's path, or None for the preset.  course: a
    Course or a course file's path (the shipped slalom by default).
    render_mode: None or "rgb_array" (render() then gives the game's
    driving view, (768, 1024, 3) uint8).  max_seconds: the episode's
    length at most.  ticks_per_step: ticks an action is held for.

    step(action): action an int 0 to 511; returns (obs, reward,
    terminated, truncated, info), obs a fresh float32 array of
    len(OBSERVATION), info empty but on the step that ends the episode
    (laps_done, ticks, and fault when the car's state stopped being a
    finite number).  A step before reset() or after the episode ended is
    a RuntimeError."""

    def __init__(self, car=None, course=None, render_mode=None, max_seconds=60.0, ticks_per_step=1):
        from . import COURSES, Fleet, Car
        if car is not None and not isinstance(car, _caravelt.Car):
            car = Car(car)
        fleet = Fleet(car, COURSES["slalom"] if course is None else course, threads=1)
        self._setup(fleet, render_mode, max_seconds, ticks_per_step)
        self.action_space = Discrete(512)
        self.observation_space = Box(self._obs_low, self._obs_high, dtype=np.float32)

    def reset(self, *, seed=None, options=None):
        """The car back at the course's start, nothing counted: (obs, {})."""
        self._seed(seed, options)
        return self._reset_all(True), {}

    step = _caravelt._Env._step_one

    def render(self):
        """The game's driving view of the car, (768, 1024, 3) uint8, with
        render_mode "rgb_array"; None without a render_mode."""
        if self.render_mode is None:
            return None
        from . import frame
        return frame(self.fleet, 0)

    def __repr__(self):
        return f"<caravelt.CarEnv on {self.course.name!r}, {self.max_seconds:g} s>"


class VectorEnv(_Common, _caravelt._Env):
    """n CarEnvs over one Fleet, stepped together:

        envs = caravelt.VectorEnv(1024, course=caravelt.COURSES["autocross"])
        obs, info = envs.reset(seed=1)                  # obs: (n, 20) float32
        obs, reward, terminated, truncated, info = envs.step(actions)

    The arguments are CarEnv's (car may also be a list of n cars), and
    threads, as Fleet's.  actions: a C-order uint16 array of n masks (as
    action_space.sample() gives); every result is a fresh array of n rows.

    Each environment is reset on its own in the step that ends its
    episode: obs[i] is then the first observation of its next episode,
    and info["final_observation"][i] the one it ended on, with
    info["_final_observation"][i] True (rows of environments that went on
    are 0 and False).  info["fault"], when there, maps an environment to
    why its state stopped being finite (its episode terminated)."""

    def __init__(self, n, car=None, course=None, render_mode=None, max_seconds=60.0, ticks_per_step=1,
                 threads=0):
        from . import COURSES, Fleet, Car
        n = _whole(n, "n")
        if n < 1:
            raise ValueError(f"n must be 1 or more, not {n}")
        if isinstance(car, (list, tuple)):
            if len(car) != n:
                raise ValueError(f"car as a list must hold n = {n} cars, not {len(car)}")
            fleet = Fleet(list(car), COURSES["slalom"] if course is None else course, threads)
        else:
            if car is not None and not isinstance(car, _caravelt.Car):
                car = Car(car)
            fleet = Fleet(car, COURSES["slalom"] if course is None else course, threads, n=n)
        self._setup(fleet, render_mode, max_seconds, ticks_per_step)
        self.num_envs = n
        self.single_action_space = Discrete(512)
        self.single_observation_space = Box(self._obs_low, self._obs_high, dtype=np.float32)
        self.action_space = MultiDiscrete(np.full(n, 512), dtype=np.uint16)
        self.observation_space = Box(np.tile(self._obs_low, (n, 1)), np.tile(self._obs_high, (n, 1)),
                                     dtype=np.float32)

    def reset(self, *, seed=None, options=None):
        """Every car back at the course's start: (obs, {})."""
        self._seed(seed, options)
        return self._reset_all(False), {}

    step = _caravelt._Env._step_all

    def render(self):
        """The driving view of environment 0 (frame(envs.fleet, i) for
        another), with render_mode "rgb_array"; None without."""
        if self.render_mode is None:
            return None
        from . import frame
        return frame(self.fleet, 0)

    def __len__(self):
        return self.num_envs

    def __repr__(self):
        return f"<caravelt.VectorEnv of {self.num_envs} on {self.course.name!r}, {self.max_seconds:g} s>"
