"""What the Python module's fleet and environments cost: make bench runs
this after the C++ benchmarks (PYTHONPATH=build/python /usr/bin/python3
bench/bench_python.py).

Every car of a fleet drives the shared scenario, bench/drive.txt, each from
its own place in it (car i from tick 37 i, round and round), so the cars
differ and slide, shift and brake as the game's do.  The environments drive
the shipped slalom by its clean script, docs/courses/slalom.txt, each from
its own place in it, so gates are passed, cones knocked and episodes end
and begin again.  Each figure is the best of a few runs, beside its target.
"""
import os
import sys
import time

import numpy as np

import caravelt

CARS, TICKS = 1024, 1000
ENV_STEPS = 100000
HERE = os.path.dirname(os.path.abspath(__file__))


def scenario(path=os.path.join(HERE, "drive.txt")):
    """A script (bench/drive.txt) as one key mask a tick."""
    bits = dict(Up=caravelt.UP, Down=caravelt.DOWN, Left=caravelt.LEFT, Right=caravelt.RIGHT,
                A=caravelt.A, Z=caravelt.Z, X=caravelt.X, R=caravelt.R, Q=caravelt.Q)
    masks = []
    with open(path) as f:
        for line in f:
            words = line.split("#")[0].split()
            if words:
                masks += [sum(bits[k] for k in words[1:])] * int(words[0])
    return np.array(masks, dtype=np.uint16)


def best_seconds(work, runs):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    masks = scenario()
    keys = np.stack([np.roll(masks, -37 * i)[:TICKS] for i in range(CARS)])
    rate = {}
    for threads in (1, 2):
        fleet = caravelt.Fleet(caravelt.Car(), n=CARS, threads=threads)
        rate[threads] = CARS * TICKS / best_seconds(lambda: fleet.rollout(keys), 7) / 1e6

    fleet = caravelt.Fleet(caravelt.Car(), n=CARS, threads=1)
    columns = [np.ascontiguousarray(keys[:, t]) for t in range(TICKS)]

    def stepped():
        for k in columns:
            fleet.step(k)
    step = CARS * TICKS / best_seconds(stepped, 5) / 1e6

    slalom = scenario(os.path.join(HERE, "..", "docs", "courses", "slalom.txt"))
    env = caravelt.CarEnv(course=caravelt.COURSES["slalom"])
    actions = [int(a) for a in np.resize(slalom, ENV_STEPS)]

    def single():
        env.reset()
        for a in actions:
            obs, reward, terminated, truncated, info = env.step(a)
            if terminated or truncated:
                env.reset()
    env_step = best_seconds(single, 7) / ENV_STEPS * 1e6

    envs = caravelt.VectorEnv(CARS, course=caravelt.COURSES["slalom"], threads=1)
    columns = [np.ascontiguousarray(c) for c in
               np.stack([np.roll(slalom, -37 * i)[:TICKS] for i in range(CARS)]).T]

    def vector():
        envs.reset()
        for a in columns:
            envs.step(a)
    vector_rate = CARS * TICKS / best_seconds(vector, 5) / 1e6

    print(f"Python module, {CARS} cars x {TICKS} ticks of bench/drive.txt (million car-ticks a second):")
    print(f"  Fleet.rollout, 1 thread    {rate[1]:6.1f}   target 10")
    print(f"  Fleet.rollout, 2 threads   {rate[2]:6.1f}   target 18 ({rate[2] / rate[1]:.2f}x one thread)")
    print(f"  Fleet.step, a tick a call  {step:6.1f}   target 5")
    print("Environments on the slalom, driven by its clean script:")
    print(f"  CarEnv.step                {env_step:6.2f}   target 2 (microseconds a call, the loop's included)")
    print(f"  VectorEnv({CARS}).step       {vector_rate:6.2f}   target 2 (million environment steps a second)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
