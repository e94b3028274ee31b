#!/usr/bin/python3
"""The handling sheet over a grid of setups, spread over a dask.distributed
cluster: each worker computes caravelt.sheet for its share of the setups.
Prints what `caravelt-sim --sheet --vary ...` prints for the same grid, the
same bytes: a CSV header, then one row per setup in index order.

On this machine (a local cluster, one worker process per core):

    PYTHONPATH=build/python /usr/bin/python3 examples/sweep_dask.py \\
        --vary G=0.7:1.3:0.3 --vary Mass=800:1400:300

Against a cluster that spans machines: start a scheduler on one
(`dask scheduler`), a worker on each (`PYTHONPATH=build/python dask worker
tcp://host:8786 --nthreads 1 --nworkers auto`, in a built tree of this
folder), then add `--scheduler tcp://host:8786` here.  The car is read here
and sent to the workers as a value: they need the module, not the car file.
"""

import argparse
import collections
import decimal
import os
import re
import sys

import caravelt

# Rows a task measures: a second or so of one core's work, so that a slow
# worker holds back little and the scheduler is not swamped.
SETUPS_PER_TASK = 256


def axis(text):
    """NAME=FROM:TO:STEP as (NAME, [values as decimal text]): FROM, FROM +
    STEP, ... while they do not pass TO, worked out exactly in decimal and
    printed with the places of the most precise of the three, as
    caravelt-sim --vary does."""
    name, eq, numbers = text.partition("=")
    parts = numbers.split(":")
    if not eq or not name or len(parts) != 3:
        raise ValueError(f"--vary \"{text}\": NAME=FROM:TO:STEP is wanted, e.g. Mass=800:1400:100")
    if not all(re.fullmatch(r"-?(\d+\.?\d*|\.\d+)", p) for p in parts):
        raise ValueError(f"--vary \"{text}\": FROM, TO and STEP must be plain decimals such as 800 or -2.5")
    places = max(len(p.partition(".")[2]) for p in parts)
    start, stop, step = (int(decimal.Decimal(p).scaleb(places)) for p in parts)   # in units of the last place
    if step == 0 or (stop - start) * step < 0:
        raise ValueError(f"--vary \"{text}\": STEP must move from FROM towards TO")
    if name in ("GearMax", "DriveTrain") and places:   # whole fields: whole FROM and STEP, printed so
        unit = 10 ** places
        if start % unit or step % unit:
            raise ValueError(f"--vary \"{text}\": {name} takes integers")
        start, stop, step, places = start // unit, stop // unit, step // unit, 0

    def value(units):
        digits = str(abs(units)).rjust(places + 1, "0")
        whole, fraction = digits[:len(digits) - places], digits[len(digits) - places:]
        return ("-" if units < 0 else "") + whole + ("." + fraction if places else "")
    return name, [value(start + i * step) for i in range((stop - start) // step + 1)]


def setups(axes, first, count):
    """Setups first .. first + count - 1 of the grid (fewer at its end):
    (index, values), the last axis varying fastest."""
    total = 1
    for _, values in axes:
        total *= len(values)
    out = []
    for index in range(first, min(first + count, total)):
        at, rest = [], index
        for _, values in reversed(axes):
            rest, k = divmod(rest, len(values))
            at.append(values[k])
        out.append((index, at[::-1]))
    return out


def figure_text(column, value):
    """A figure as the sheet prints it: times and g to the hundredth, the
    gear and the closed-loop speeds whole (ints), the rest to the tenth;
    empty when never reached."""
    if value is None:
        return ""
    if isinstance(value, int):
        return str(value)
    return f"{value:.2f}" if column.endswith(("_s", "_g")) else f"{value:.1f}"


def measure(car, names, shift, share):
    """The CSV rows of a share of setups (run on a worker)."""
    import caravelt as module   # on the worker
    rows = []
    for index, values in share:
        setup = module.Car(**{**car.fields(), **{n: decimal.Decimal(v) for n, v in zip(names, values)}})
        figures = module.sheet(setup, shift=shift)
        fault = figures.pop("fault")
        row = [str(index), *values, *(figure_text(c, v) for c, v in figures.items())]
        rows.append(",".join(row) + (f",\"{fault}\"" if fault else ",") + "\n")
    return "".join(rows)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--vary", action="append", required=True, metavar="NAME=FROM:TO:STEP",
                        help="a field and its values, as caravelt-sim --vary (several: their product)")
    parser.add_argument("--car", help="the car file whose setups vary (default: the preset)")
    parser.add_argument("--shift", type=float, default=6000, help="rev/min the acceleration run shifts up at")
    parser.add_argument("--scheduler", help="the cluster's scheduler, tcp://host:8786 (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=len(os.sched_getaffinity(0)),
                        help="worker processes of the local cluster (default: every core)")
    parser.add_argument("--per-task", type=int, default=SETUPS_PER_TASK, metavar="N",
                        help=f"setups a task measures (default {SETUPS_PER_TASK})")
    parser.add_argument("--progress", action="store_true",
                        help="a progress bar on standard error, setups done of all (the rows go to standard output)")
    args = parser.parse_args(argv)
    try:
        axes = [axis(v) for v in args.vary]
        if len({name for name, _ in axes}) != len(axes):
            raise ValueError("a field is varied twice")
        if not (args.shift > 0 and args.shift != float("inf")):
            raise ValueError(f"--shift {args.shift}: an engine speed in rev/min above 0 is wanted")
        if args.workers < 1 or args.per_task < 1:
            raise ValueError("--workers and --per-task take 1 or more")
        car = caravelt.Car(args.car)
        for name, values in axes:   # every value as the car would take it, before any work
            for v in values:
                caravelt.Car(**{**car.fields(), name: decimal.Decimal(v)})
    except (ValueError, TypeError, OSError) as e:
        print(f"sweep_dask: {e}", file=sys.stderr)
        return 2

    from dask.distributed import Client, LocalCluster
    # A local cluster outlives its client: closed after it, so that nothing
    # the client still says reaches a cluster already gone.
    cluster = None if args.scheduler else LocalCluster(n_workers=args.workers, threads_per_worker=1,
                                                       processes=True, dashboard_address=None)
    try:
        with Client(args.scheduler or cluster) as client:
            sweep(client, car, axes, args, sys.stdout)
    finally:
        if cluster is not None:
            cluster.close()
    return 0


def sweep(client, car, axes, args, out):
    """The grid's rows, in order, measured by the client's workers."""
    names = [name for name, _ in axes]
    total = 1
    for _, values in axes:
        total *= len(values)
    out.write(",".join(["index", *names, *caravelt.SHEET_COLUMNS, "fault"]) + "\n")
    # Tasks go out a few per worker at a time and their rows come back in
    # order, so memory stays flat however large the grid.
    window = 4 * max(1, len(client.scheduler_info()["workers"]))
    shares = range(0, total, args.per_task)
    running = collections.deque()
    car_value = client.scatter(car, broadcast=True)
    bar = caravelt._progress(args.progress, "setups")
    written = 0

    def write(rows):
        nonlocal written
        out.write(rows)
        written += rows.count("\n")
        if bar:
            bar(written, total)
    for first in shares:
        running.append(client.submit(measure, car_value, names, args.shift,
                                     setups(axes, first, args.per_task), pure=False))
        if len(running) >= window:
            write(running.popleft().result())
    while running:
        write(running.popleft().result())
    out.flush()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
