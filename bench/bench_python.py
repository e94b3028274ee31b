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
import ctypes
import gc
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


def peers():
    """Gymnasium's CartPole, single and as its numpy vector environment of
    1024, when Gymnasium's source is on PYTHONPATH (../shared/vendor)."""
    try:
        from gymnasium.envs.classic_control.cartpole import CartPoleEnv, CartPoleVectorEnv
    except ImportError:
        return None
    single = CartPoleEnv()
    single.reset(seed=0)

    def steps():
        for _ in range(ENV_STEPS // 10):
            if single.step(1)[2]:
                single.reset()
    vector = CartPoleVectorEnv(num_envs=CARS)
    vector.reset(seed=0)
    moves = [np.random.default_rng(t).integers(0, 2, CARS) for t in range(100)]

    def vector_steps():
        for t in range(TICKS):
            vector.step(moves[t % 100])
    return (best_seconds(steps, 5) / (ENV_STEPS // 10) * 1e6, CARS * TICKS / best_seconds(vector_steps, 5) / 1e6)


def memory_per_car(n=20000):
    """Bytes a car on the slalom takes, in a Fleet and in a VectorEnv:
    the heap in use (glibc's count, or else the resident memory) before
    and after n of them, over n."""
    try:
        class Info(ctypes.Structure):
            _fields_ = [(f, ctypes.c_size_t) for f in
                        "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]
        mallinfo2 = ctypes.CDLL("libc.so.6").mallinfo2
        mallinfo2.restype = Info

        def used():
            info = mallinfo2()
            return info.uordblks + info.hblkhd
    except (OSError, AttributeError):
        def used():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

    def per_car(make, step):
        gc.collect()
        before = used()
        made = make()
        step(made)
        taken = used() - before
        del made
        return taken / n

    keys = caravelt.UP | caravelt.A
    fleet = per_car(lambda: caravelt.Fleet(caravelt.Car(), caravelt.COURSES["slalom"], n=n),
                    lambda f: (f.step(keys, ticks=100), f.laps))
    envs = per_car(lambda: caravelt.VectorEnv(n, course="slalom", threads=1),
                   lambda e: (e.reset(), e.step(np.full(n, keys))))
    return fleet, envs


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
        step = env.step
        for a in actions:
            obs, reward, terminated, truncated, info = step(a)
            if terminated or truncated:
                env.reset()
    env_step = best_seconds(single, 7) / ENV_STEPS * 1e6

    vector_rate = {}
    for threads in (1, 2):
        envs = caravelt.VectorEnv(CARS, course=caravelt.COURSES["slalom"], threads=threads)
        columns = [np.ascontiguousarray(c) for c in
                   np.stack([np.roll(slalom, -37 * i)[:TICKS] for i in range(CARS)]).T]

        def vector():
            envs.reset()
            for a in columns:
                envs.step(a)
        vector_rate[threads] = CARS * TICKS / best_seconds(vector, 5) / 1e6
    peer = peers()
    per_car = memory_per_car()

    print(f"Python module, {CARS} cars x {TICKS} ticks of bench/drive.txt (million car-ticks a second):")
    print(f"  Fleet.rollout, 1 thread    {rate[1]:6.1f}")
    print(f"  Fleet.rollout, 2 threads   {rate[2]:6.1f}   ({rate[2] / rate[1]:.2f}x one thread)")
    print(f"  Fleet.step, a tick a call  {step:6.1f}   target: as Fleet.rollout on 1 thread ({step / rate[1]:.2f}x)")
    print("Environments on the slalom, driven by its clean script:")
    print(f"  CarEnv.step                {env_step:6.2f}   target 0.5 (microseconds a call, the loop's included)")
    print(f"  VectorEnv({CARS}).step, 1 thread  {vector_rate[1]:6.2f}   (million environment steps a second)")
    print(f"  VectorEnv({CARS}).step, 2 threads {vector_rate[2]:6.2f}")
    print(f"  a car on the slalom in a Fleet: {per_car[0]:.0f} bytes   target 600")
    print(f"  ... in a VectorEnv: {per_car[1]:.0f} bytes (its observations, what a step gives and Gymnasium's "
          "batched spaces besides)")
    if peer:
        print("The peers, Gymnasium's CartPole, in this process:")
        print(f"  CartPoleEnv.step           {peer[0]:6.2f}   microseconds a call ({peer[0] / env_step:.0f}x CarEnv.step)")
        print(f"  CartPoleVectorEnv({CARS}).step {peer[1]:6.2f}   million steps a second; VectorEnv on 2 threads: "
              f"{vector_rate[2] / peer[1]:.2f}x, target 2x")
    else:
        print("(Gymnasium is not on PYTHONPATH: no peer measured)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
