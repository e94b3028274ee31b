"""An agent that learns to lap the slalom: a cross-entropy search over a
linear policy on the environment's observation, numpy only.

    PYTHONPATH=build/python /usr/bin/python3 examples/learn_slalom.py [--seconds 60] [--seed 1]
        [--ghost slalom-learned.rec]

Each generation draws POPULATION policies around the mean, drives each
for one episode in one VectorEnv (one car a policy, every car stepped
together), keeps the best ELITE by their reward and moves the mean and
spread to them.  A policy is three linear heads on the scaled
observation: the wheel (left, straight, right), the pedals (brake,
none, throttle) and the gear key (A when its head is positive).  It
prints its learning curve, one line a generation that improves, and
writes the best lap's drive as a recording the game races as a ghost:

    build/caravelt --course data/courses/slalom.toml --ghost slalom-learned.rec

Deterministic for its seed and generation count: --generations N
stops after N generations whatever the time; without it, --seconds is
the training budget.  Exit status 0 when the best lap found beats
--target (the slalom's silver target lap, 5.64 s: the game's time
trial names it), 1 when not.
"""
import argparse
import sys
import time

import numpy as np

import caravelt

POPULATION, ELITE = 64, 8
TICKS_PER_STEP = 4            # a decision every 0.04 s
MAX_SECONDS = 25.0            # an episode: three laps of the slalom at most
TARGET = 5.64                 # s: the best lap of data/courses/targets/slalom-silver.rec

# The observation scaled to about -1 .. 1 (caravelt.OBSERVATION's order), then a bias.
SCALE = np.array([1 / 30, 1 / 30, 1 / 90, 1 / 6000, 1 / 5, 1, 1, 1, 1, 1, 1, 1, 1, 1 / 100, 1 / 80,
                  1 / 30, 1 / 10, 1 / 30, 1 / 10, 1 / 25], np.float32)
FEATURES = len(SCALE) + 1
STEER = np.array([caravelt.LEFT, 0, caravelt.RIGHT], np.int64)
PEDALS = np.array([caravelt.DOWN, 0, caravelt.UP], np.int64)
HEADS = 3 + 3 + 1             # steering, pedals, gear
PARAMETERS = FEATURES * HEADS


def actions(weights, obs):
    """Each car's key mask from its policy's weights (n, FEATURES, HEADS)."""
    x = np.concatenate([obs * SCALE, np.ones((len(obs), 1), np.float32)], axis=1)
    h = np.einsum("nf,nfh->nh", x, weights)
    keys = STEER[h[:, 0:3].argmax(1)] | PEDALS[h[:, 3:6].argmax(1)]
    return keys | np.where(h[:, 6] > 0, caravelt.A, 0)


def episode(envs, weights):
    """Each policy's reward over one episode, its best lap (s, NaN for
    none) and its keys, one mask a step."""
    n = len(weights)
    obs, _ = envs.reset()
    reward, done = np.zeros(n), np.zeros(n, bool)
    best = np.full(n, np.nan)
    keys = []
    while not done.all():
        a = actions(weights, obs)
        keys.append(a)
        obs, r, terminated, truncated, info = envs.step(a)
        reward += np.where(done, 0, r)
        ended = (terminated | truncated) & ~done
        if ended.any():
            best[ended] = info["best_lap"][ended]
            done |= ended
    return reward, best, np.array(keys).T


def train(seconds, seed, generations=None, out=sys.stdout, progress=None):
    """The search; returns (best lap s, its keys a tick, seconds trained).
    progress, when given, is told (done, total) after each generation: in
    seconds of the budget, or in generations."""
    rng = np.random.default_rng(seed)
    envs = caravelt.VectorEnv(POPULATION, course="slalom", max_seconds=MAX_SECONDS,
                              ticks_per_step=TICKS_PER_STEP)
    mean, spread = np.zeros(PARAMETERS), np.ones(PARAMETERS)
    best_lap, best_keys, best_reward = np.inf, None, -np.inf
    start = time.monotonic()
    gen = 0
    while (generations is None and time.monotonic() - start < seconds) or (generations is not None
                                                                             and gen < generations):
        draws = mean + spread * rng.standard_normal((POPULATION, PARAMETERS))
        draws[0] = mean   # the mean itself, driven too
        reward, laps, keys = episode(envs, draws.reshape(POPULATION, FEATURES, HEADS).astype(np.float32))
        elite = np.argsort(-reward, kind="stable")[:ELITE]
        mean = draws[elite].mean(0)
        spread = draws[elite].std(0) + 0.2 * 0.97 ** gen
        i = int(np.nanargmin(laps)) if np.isfinite(laps).any() else None
        better = i is not None and laps[i] < best_lap
        if better:
            best_lap, best_keys = laps[i], np.repeat(keys[i], TICKS_PER_STEP).astype(np.uint16)
        if better or reward.max() > best_reward:
            best_reward = max(best_reward, reward.max())
            print(f"generation {gen:4d}  {time.monotonic() - start:5.1f} s  reward {reward.max():7.3f}"
                  f"  best lap {best_lap:5.2f} s", file=out, flush=True)
        gen += 1
        if progress:
            took = time.monotonic() - start
            progress(gen, generations) if generations else progress(min(round(took), round(seconds)), round(seconds))
    return best_lap, best_keys, time.monotonic() - start


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=60, help="training budget (default 60 s)")
    parser.add_argument("--generations", type=int, help="train this many generations, whatever the time")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--target", type=float, default=TARGET, help=f"the lap to beat, s (default {TARGET})")
    parser.add_argument("--ghost", help="write the best lap's drive here, as a recording the game races")
    parser.add_argument("--progress", action="store_true",
                        help="a progress bar on standard error (tqdm's when there is tqdm)")
    args = parser.parse_args(argv)
    if args.seconds <= 0 or (args.generations is not None and args.generations < 1):
        print("learn_slalom: --seconds and --generations take a number above 0", file=sys.stderr)
        return 2
    bar = caravelt._progress(True, "generations" if args.generations else "s") if args.progress else None
    lap, keys, took = train(args.seconds, args.seed, args.generations, progress=bar)
    if keys is None:
        print(f"no lap completed in {took:.1f} s of training", flush=True)
        return 1
    print(f"best lap {lap:.2f} s after {took:.1f} s of training; the lap to beat is {args.target:.2f} s")
    if args.ghost:
        caravelt.write_recording(args.ghost, keys, course="slalom")
        print(f"its drive: {args.ghost}")
    return 0 if lap < args.target else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
