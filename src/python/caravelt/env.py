"""A car on a course as an environment for learning agents: Gymnasium's
Env and VectorEnv when Gymnasium (1.x) is there, the same shapes and
spaces without it.

An action is a key mask, 0 to 511 (the sum of caravelt.UP ... Q), held
for ticks_per_step ticks of 0.01 s.  The observation is OBSERVATION's
twenty float32 values: the car's state and where the next gate lies from
it.  The reward is a point (GATE_REWARD) per gate passed in order, less
SECOND_COST for each second driven and each second of penalty a knocked
cone costs; a lap abandoned with R gives its gates back.  An episode is
terminated when the course's last lap is done (or the car's state stops
being a finite number), truncated after max_seconds (or after
max_episode_steps steps).  The same actions after reset() give the same
observations, always: nothing in the car or the course is random.

With Gymnasium, caravelt registers "caravelt/Course-v0":
gymnasium.make("caravelt/Course-v0", course="slalom") and
gymnasium.make_vec("caravelt/Course-v0", num_envs=64).
"""

import math
import numbers

import numpy as np

from . import _caravelt

try:
    import gymnasium
    from gymnasium import spaces as _spaces
    from gymnasium.vector import AutoresetMode as _AutoresetMode
    from gymnasium.vector.utils import batch_space as _batch_space
    _EnvBase = gymnasium.Env
    _VectorBase = gymnasium.vector.VectorEnv
except ImportError:   # the same shapes without it
    gymnasium = None
    from . import spaces as _spaces
    _AutoresetMode = None
    _batch_space = None

    class _EnvBase:
        """Where gymnasium.Env would be."""

    class _VectorBase:
        """Where gymnasium.vector.VectorEnv would be."""

OBSERVATION = _caravelt.OBSERVATION
GATE_REWARD = _caravelt.GATE_REWARD
SECOND_COST = _caravelt.SECOND_COST

# Bounds an observation entry never leaves (the rest are unbounded).
_BOUNDS = {"slip": (-180, 180), "heading_sin": (-1, 1), "heading_cos": (-1, 1), "x": (0, 102.4),
           "y": (0, 76.8), "KeyHeld": (0, 1), "TractionSlip": (0, 1), "Gear": (-1, 7)}

# The ways a vector of environments resets one whose episode has ended.
NEXT_STEP, SAME_STEP = "NextStep", "SameStep"


def _observation_space(max_seconds):
    low = np.full(len(OBSERVATION), -np.inf, np.float32)
    high = np.full(len(OBSERVATION), np.inf, np.float32)
    for i, name in enumerate(OBSERVATION):
        if name in _BOUNDS:
            low[i], high[i] = _BOUNDS[name]
    i = OBSERVATION.index("seconds_left")
    low[i], high[i] = 0, max_seconds
    return _spaces.Box(low, high, dtype=np.float32)


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


def _course_of(course):
    """A course name ("slalom"), a Course, or a course file's path; None: the slalom."""
    from . import COURSES, Course
    if course is None:
        course = "slalom"
    if isinstance(course, str) and course in COURSES:
        return Course(COURSES[course])
    if isinstance(course, _caravelt.Course):
        return course
    return Course(course)


def _car_of(car):
    from . import Car
    if car is None or isinstance(car, _caravelt.Car):
        return car
    return Car(car)


def _episode_steps(max_episode_steps):
    if max_episode_steps is None:
        return None
    steps = _whole(max_episode_steps, "max_episode_steps")
    if steps < 1:
        raise ValueError(f"max_episode_steps must be 1 or more, not {steps}")
    return steps


def _reset_options(options, n=None):
    """(mask or None, max_ticks or 0) from reset's options: "reset_mask" (a
    vector's, Gymnasium's: a bool array of n), "max_seconds"."""
    if options is None:
        return None, 0
    if not isinstance(options, dict):
        raise TypeError(f"options must be a dict or None, not {type(options).__name__}")
    unknown = set(options) - {"max_seconds"} - ({"reset_mask"} if n is not None else set())
    if unknown:
        raise ValueError(f"options takes {'reset_mask and ' if n is not None else ''}max_seconds, "
                         f"not {sorted(unknown)}")
    mask = options.get("reset_mask")
    if mask is not None:
        if not isinstance(mask, np.ndarray):
            raise TypeError(f"options['reset_mask'] must be a numpy array, not {type(mask).__name__}")
        if mask.shape != (n,):
            raise ValueError(f"options['reset_mask'] must have shape ({n},), not {mask.shape}")
        if mask.dtype != np.bool_:
            raise TypeError(f"options['reset_mask'] must have dtype bool, not {mask.dtype}")
        if not mask.any():
            raise ValueError("options['reset_mask'] must hold at least one True")
        mask = np.ascontiguousarray(mask)
    ticks = _max_ticks(options["max_seconds"]) if "max_seconds" in options else 0
    return mask, ticks


class _Common:
    """What CarEnv and VectorEnv share: construction over a fleet, reset's
    options, pickling, render, close."""

    spec = None

    def _setup(self, fleet, render_mode, max_seconds, ticks_per_step, same_step, max_episode_steps):
        if self._is_made:
            raise TypeError(f"a {type(self).__name__} does not change once made: make another")
        ticks_per_step = _whole(ticks_per_step, "ticks_per_step")
        _caravelt._Env.__init__(self, fleet, ticks_per_step, _max_ticks(max_seconds), same_step,
                                _episode_steps(max_episode_steps))
        self.render_mode = _render_mode(render_mode, type(self).metadata["render_modes"])
        self.metadata = dict(type(self).metadata, render_fps=100 / ticks_per_step)

    @property
    def max_seconds(self):
        return self.max_ticks / 100

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

    def render(self):
        """The game's driving view of car 0 (caravelt.frame(env.fleet, i) for
        another), (768, 1024, 3) uint8, with render_mode "rgb_array"; None
        without a render_mode."""
        if self.render_mode is None:
            return None
        from . import frame
        return frame(self.fleet, 0)

    def _seeded(self, seed):
        """np_random and the spaces seeded from seed (None: left as they are)."""
        if seed is None:
            return
        seed = _whole(seed, "seed")
        self._np_random = np.random.default_rng(seed)
        self._np_random_seed = seed
        self.action_space.seed(seed)
        self.observation_space.seed(seed)

    @property
    def np_random(self):
        if getattr(self, "_np_random", None) is None:
            self._np_random = np.random.default_rng()
        return self._np_random

    @np_random.setter
    def np_random(self, value):
        self._np_random = value

    def __reduce__(self):
        return _restore, (type(self), self._args, self.fleet, self._getstate())


def _restore(cls, args, fleet, state):
    """A pickled environment: made again over its pickled fleet, its
    episodes as they were (each checked)."""
    env = cls.__new__(cls)
    env._build(fleet, *args)
    env._setstate(state)
    if env.max_ticks / 100 != args[1]:
        env._spaces(env.max_ticks / 100)
    return env


class CarEnv(_Common, _EnvBase, _caravelt._Env):
    """One car on a course, one episode at a time:

        env = caravelt.CarEnv(course="slalom")
        obs, info = env.reset(seed=1)
        obs, reward, terminated, truncated, info = env.step(caravelt.UP)

    car: a Car, a car file's path, or None for the preset.  course: a
    shipped course's name (caravelt.COURSES), a Course, or a course file's
    path (the slalom by default).  render_mode: None or "rgb_array"
    (render() then gives the game's driving view, (768, 1024, 3) uint8).
    max_seconds: the episode's length at most.  ticks_per_step: ticks an
    action is held for.  max_episode_steps: steps at most, when given.

    step(action): action any integer 0 to 511; returns (obs, reward,
    terminated, truncated, info), obs a fresh float32 array of
    len(OBSERVATION), info empty but on the step that ends the episode:
    laps_done, ticks, best_lap (s, time and penalties; NaN without one),
    best_cones, and fault when the car's state stopped being a finite
    number.  reset(seed=None, options=None): options may give
    max_seconds, the length of this episode and the next.  A step before
    reset() or after the episode ended is a RuntimeError."""

    metadata = {"render_modes": ["rgb_array"], "render_fps": 100}

    def __init__(self, car=None, course=None, render_mode=None, max_seconds=60.0, ticks_per_step=1,
                 max_episode_steps=None):
        from . import Fleet
        self._build(Fleet(_car_of(car), _course_of(course), threads=1), render_mode, max_seconds, ticks_per_step,
                    max_episode_steps)

    def _build(self, fleet, render_mode, max_seconds, ticks_per_step, max_episode_steps):
        self._setup(fleet, render_mode, max_seconds, ticks_per_step, False, max_episode_steps)
        self._args = (render_mode, max_seconds, ticks_per_step, max_episode_steps)
        self.action_space = _spaces.Discrete(512)
        self._spaces(self.max_seconds)

    def _spaces(self, max_seconds):
        self.observation_space = _observation_space(max_seconds)

    def reset(self, *, seed=None, options=None):
        """The car back at the course's start, nothing counted: (obs, {})."""
        _, ticks = _reset_options(options)
        self._seeded(seed)
        if ticks:
            self._spaces(ticks / 100)
        return self._reset(True, None, ticks), {}

    step = _caravelt._Env._step_one

    def __repr__(self):
        return f"<caravelt.CarEnv on {self.course.name!r}, {self.max_seconds:g} s>"


class VectorEnv(_Common, _VectorBase, _caravelt._Env):
    """num_envs CarEnvs over one Fleet, stepped together:

        envs = caravelt.VectorEnv(1024, course="autocross")
        obs, info = envs.reset(seed=1)                  # obs: (n, 20) float32
        obs, reward, terminated, truncated, info = envs.step(actions)

    The arguments are CarEnv's (car may also be a list of n cars), and
    threads, as Fleet's, and autoreset_mode: "NextStep" (the default, as
    Gymnasium's own) or "SameStep" (or Gymnasium's AutoresetMode).
    actions: any integers of shape (n,), each 0 to 511 (what
    action_space.sample() or an argmax gives); every result is a fresh
    array of n rows.

    NextStep: an environment whose episode ended is reset by the next
    step, whose action it ignores (reward 0, not ended).  SameStep: it is
    reset in the step that ended it, info["final_obs"][i] holding the
    observation it ended on and info["final_info"] what it ended with.
    Either way the ended episode's info (laps_done, ticks, best_lap,
    best_cones, fault) is there for it with its masks "_laps_done" ..., as
    Gymnasium's SyncVectorEnv gives it of CarEnvs.  reset(seed=None,
    options=None): seed an int or a list of n; options may give
    "reset_mask" (the environments to reset, ending their episodes where
    they stand) and "max_seconds"."""

    metadata = {"render_modes": ["rgb_array"], "render_fps": 100, "autoreset_mode": NEXT_STEP}

    def __init__(self, num_envs=None, car=None, course=None, render_mode=None, max_seconds=60.0,
                 ticks_per_step=1, threads=0, autoreset_mode=NEXT_STEP, max_episode_steps=None, *, n=None):
        from . import Car, Fleet
        if num_envs is None:
            num_envs = n
        elif n is not None:
            raise TypeError("give num_envs or n, not both")
        n = _whole(num_envs, "num_envs")
        if n < 1:
            raise ValueError(f"num_envs must be 1 or more, not {n}")
        track = _course_of(course)
        if isinstance(car, (list, tuple)):
            if len(car) != n:
                raise ValueError(f"car as a list must hold num_envs = {n} cars, not {len(car)}")
            fleet = Fleet([Car() if c is None else _car_of(c) for c in car], track, threads)
        else:
            fleet = Fleet(_car_of(car), track, threads, n=n)
        self._build(fleet, render_mode, max_seconds, ticks_per_step, max_episode_steps, autoreset_mode)

    def _build(self, fleet, render_mode, max_seconds, ticks_per_step, max_episode_steps, autoreset_mode):
        mode = getattr(autoreset_mode, "value", autoreset_mode)
        if mode not in (NEXT_STEP, SAME_STEP):
            raise ValueError(f"autoreset_mode must be {NEXT_STEP!r} or {SAME_STEP!r}, not {autoreset_mode!r}")
        self._setup(fleet, render_mode, max_seconds, ticks_per_step, mode == SAME_STEP, max_episode_steps)
        self._args = (render_mode, max_seconds, ticks_per_step, max_episode_steps, mode)
        self.num_envs = len(fleet)
        self.metadata["autoreset_mode"] = _AutoresetMode(mode) if _AutoresetMode else mode
        self._spaces(self.max_seconds)

    def _spaces(self, max_seconds):
        n = self.num_envs
        self.single_action_space = _spaces.Discrete(512)
        self.single_observation_space = _observation_space(max_seconds)
        if _batch_space is not None:
            self.action_space = _batch_space(self.single_action_space, n)
            self.observation_space = _batch_space(self.single_observation_space, n)
        else:
            self.action_space = _spaces.MultiDiscrete(np.full(n, 512), dtype=np.int64)
            low, high = self.single_observation_space.low, self.single_observation_space.high
            self.observation_space = _spaces.Box(np.tile(low, (n, 1)), np.tile(high, (n, 1)), dtype=np.float32)

    @property
    def autoreset_mode(self):
        return self.metadata["autoreset_mode"]

    def reset(self, *, seed=None, options=None):
        """The environments back at the course's start (those of
        options["reset_mask"], or all): (obs of every one, {})."""
        mask, ticks = _reset_options(options, self.num_envs)
        if isinstance(seed, (list, tuple)):
            if len(seed) != self.num_envs:
                raise ValueError(f"seed as a list must hold num_envs = {self.num_envs} seeds, not {len(seed)}")
            seed = next((_whole(s, "seed") for s in seed if s is not None), None)
        self._seeded(seed)
        if ticks:
            self._spaces(ticks / 100)
        return self._reset(False, mask, ticks), {}

    step = _caravelt._Env._step_all

    def __len__(self):
        return self.num_envs

    def __repr__(self):
        return f"<caravelt.VectorEnv of {self.num_envs} on {self.course.name!r}, {self.max_seconds:g} s>"


def register():
    """caravelt's environments in Gymnasium's registry, when Gymnasium is
    there: "caravelt/Course-v0", for gymnasium.make and make_vec."""
    if gymnasium is None or "caravelt/Course-v0" in gymnasium.registry:
        return
    gymnasium.register("caravelt/Course-v0", entry_point="caravelt.env:CarEnv",
                       vector_entry_point="caravelt.env:VectorEnv")
