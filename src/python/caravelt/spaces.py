"""Spaces as the usual reinforcement-learning libraries describe them
(Gymnasium's Discrete, MultiDiscrete and Box, their attributes and
methods), without depending on one.

Each space draws its samples from its own numpy Generator, seeded by
seed(s) (or by the environment's reset(seed=s)); the same seed gives the
same samples.
"""

import numpy as np


class Space:
    """What every space has: shape, dtype, seed(), sample(), contains()."""

    def __init__(self, shape, dtype):
        self.shape = tuple(shape)
        self.dtype = np.dtype(dtype)
        self._np_random = None

    @property
    def np_random(self):
        """The Generator samples come from (seeded afresh when never seeded)."""
        if self._np_random is None:
            self.seed()
        return self._np_random

    def seed(self, seed=None):
        """Seeds the samples; returns [seed]."""
        self._np_random = np.random.default_rng(seed)
        return [seed]

    def __contains__(self, x):
        return self.contains(x)


class Discrete(Space):
    """The integers start .. start + n - 1, one at a time (an action)."""

    def __init__(self, n, start=0, seed=None):
        super().__init__((), np.int64)
        self.n = int(n)
        self.start = int(start)
        if seed is not None:
            self.seed(seed)

    def sample(self):
        return self.dtype.type(self.start + self.np_random.integers(self.n))

    def contains(self, x):
        if isinstance(x, (bool, np.bool_)):
            return False
        if isinstance(x, (int, np.integer)):
            return self.start <= int(x) < self.start + self.n
        if isinstance(x, np.ndarray) and x.shape == () and x.dtype.kind in "iu":
            return self.start <= int(x) < self.start + self.n
        return False

    def __repr__(self):
        return f"Discrete({self.n})" if self.start == 0 else f"Discrete({self.n}, start={self.start})"

    def __eq__(self, other):
        return isinstance(other, Discrete) and (self.n, self.start) == (other.n, other.start)


class MultiDiscrete(Space):
    """An array of integers, entry i in 0 .. nvec[i] - 1 (a vector of actions)."""

    def __init__(self, nvec, dtype=np.int64, seed=None):
        self.nvec = np.array(nvec, dtype=np.int64)
        super().__init__(self.nvec.shape, dtype)
        if seed is not None:
            self.seed(seed)

    def sample(self):
        return self.np_random.integers(self.nvec).astype(self.dtype)

    def contains(self, x):
        if not isinstance(x, np.ndarray) or x.shape != self.shape or x.dtype.kind not in "iu":
            return False
        return bool(((x >= 0) & (x < self.nvec)).all())

    def __repr__(self):
        return f"MultiDiscrete({self.nvec.tolist() if self.nvec.size <= 8 else self.shape}, {self.dtype})"

    def __eq__(self, other):
        return isinstance(other, MultiDiscrete) and np.array_equal(self.nvec, other.nvec)


class Box(Space):
    """Arrays of a shape and dtype, each entry within [low, high] (either
    may be infinite)."""

    def __init__(self, low, high, shape=None, dtype=np.float32, seed=None):
        dtype = np.dtype(dtype)
        if shape is None:
            shape = np.broadcast(np.asarray(low), np.asarray(high)).shape
        super().__init__(shape, dtype)
        self.low = np.broadcast_to(np.asarray(low, dtype), self.shape).copy()
        self.high = np.broadcast_to(np.asarray(high, dtype), self.shape).copy()
        self.low.setflags(write=False)
        self.high.setflags(write=False)
        if seed is not None:
            self.seed(seed)

    def is_bounded(self, manner="both"):
        below, above = np.isfinite(self.low).all(), np.isfinite(self.high).all()
        return {"both": below and above, "below": below, "above": above}[manner]

    def sample(self):
        """Uniform where both bounds are finite, exponential from the one
        bound there is, normal where there is none."""
        rng = self.np_random
        low, high = self.low.astype(np.float64), self.high.astype(np.float64)
        out = rng.normal(size=self.shape)
        lo, hi = np.isfinite(low), np.isfinite(high)
        both = lo & hi
        out[both] = rng.uniform(low[both], high[both])
        only_lo, only_hi = lo & ~hi, hi & ~lo
        out[only_lo] = low[only_lo] + rng.exponential(size=int(only_lo.sum()))
        out[only_hi] = high[only_hi] - rng.exponential(size=int(only_hi.sum()))
        return out.astype(self.dtype)

    def contains(self, x):
        if not isinstance(x, np.ndarray) or x.shape != self.shape or x.dtype != self.dtype:
            return False
        return bool(((x >= self.low) & (x <= self.high)).all())

    def __repr__(self):
        return f"Box({self.shape}, {self.dtype})"

    def __eq__(self, other):
        return (isinstance(other, Box) and self.shape == other.shape and self.dtype == other.dtype
                and np.array_equal(self.low, other.low) and np.array_equal(self.high, other.high))
