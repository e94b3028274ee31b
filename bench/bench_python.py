"""What the Python module's fleet costs: make bench runs this after the C++
benchmarks (PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py).

Every car drives the shared scenario, bench/drive.txt, each from its own
place in it (car i from tick 37 i, round and round), so the cars differ and
slide, shift and brake as the game's do.  Each figure is the best of a few
runs, in million car-ticks a second, beside its target.
"""
import os
import sys
import time

import numpy as np

import caravelt

CARS, TICKS = 1024, 1000
HERE = os.path.dirname(os.path.abspath(__file__))


def scenario():
    """bench/drive.txt as one key mask a tick."""
    bits = dict(Up=caravelt.UP, Down=caravelt.DOWN, Left=caravelt.LEFT, Right=caravelt.RIGHT,
                A=caravelt.A, Z=caravelt.Z, X=caravelt.X, R=caravelt.R, Q=caravelt.Q)
    masks = []
    with open(os.path.join(HERE, "drive.txt")) as f:
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

    print(f"Python module, {CARS} cars x {TICKS} ticks of bench/drive.txt (million car-ticks a second):")
    print(f"  Fleet.rollout, 1 thread    {rate[1]:6.1f}   target 10")
    print(f"  Fleet.rollout, 2 threads   {rate[2]:6.1f}   target 18 ({rate[2] / rate[1]:.2f}x one thread)")
    print(f"  Fleet.step, a tick a call  {step:6.1f}   target 5")
    return 0


if __name__ == "__main__":
    sys.exit(main())
