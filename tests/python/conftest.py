"""The module's tests: every result is held byte for byte against caravelt-sim (CARAVELT_SIM)."""
import os
import subprocess

import numpy as np

import caravelt

SIM = os.environ.get("CARAVELT_SIM", "build/caravelt-sim")
DATA = caravelt.DATA_DIR
DOCS = os.path.join(os.path.dirname(DATA), "docs")
KEY_NAMES = ["Up", "Down", "Left", "Right", "A", "Z", "X", "R", "Q"]
CAR_FILES = [None, "cars/light.toml", "cars/drift.toml", "cars/kvt.toml"]


def sim(*args, script=""):
    """caravelt-sim's standard output for these options and script text."""
    done = subprocess.run([SIM, *args], input=script.encode(), capture_output=True, check=True)
    return done.stdout.decode()


def car_args(car_file):
    return [] if car_file is None else ["--car", os.path.join(DATA, car_file)]


def fleet_cars(files):
    return [caravelt.Car() if f is None else caravelt.Car(os.path.join(DATA, f)) for f in files]


def script_text(stretches):
    """A script of (ticks, mask) stretches."""
    return "".join(f"{t} " + " ".join(k for b, k in enumerate(KEY_NAMES) if m >> b & 1) + "\n"
                   for t, m in stretches)


def random_stretches(seed, ticks):
    """Stretches of every key totalling `ticks`, now and then R and Q, a gear first; seeded."""
    rng = np.random.default_rng(seed)
    out, left = [(1, caravelt.A)], ticks - 1
    while left:
        m = int(rng.integers(0, 512))
        if rng.random() < 0.8:
            m &= ~(caravelt.Q | caravelt.R)
        t = min(left, int(rng.integers(1, 60)))
        out.append((t, m))
        left -= t
    return out


def course_script(name):
    """The clean drive of a shipped course (docs/courses), one key mask a tick."""
    lines = [line.split("#")[0].split() for line in open(os.path.join(DOCS, "courses", f"{name}.txt"))]
    return masks_of([(int(w[0]), sum(1 << KEY_NAMES.index(k) for k in w[1:])) for w in lines if w])


def masks_of(stretches):
    return np.concatenate([np.full(t, m, dtype=np.uint16) for t, m in stretches])


def trace_text(rows):
    """Rows as caravelt-sim writes them."""
    names = rows.dtype.names
    return "".join(",".join(f"{row[n]:d}" if rows.dtype[n].kind == "i" else "%.9g" % row[n] for n in names) + "\n"
                   for row in rows)


def numbered(rows, ticks=None):
    """A fleet's rows of one car with a trace's tick numbers (1, 2, ... unless given)."""
    out = np.zeros(len(rows), dtype=[("tick", "i8")] + packed(rows).dtype.descr)
    out["tick"] = np.arange(1, len(rows) + 1) if ticks is None else ticks
    for n in rows.dtype.names:
        out[n] = rows[n]
    return out


def packed(rows):
    """The fields alone, packed (a fleet's state has the rest of each car between its rows)."""
    return rows.astype([(n, rows.dtype[n]) for n in rows.dtype.names])


def read_bmp(path):
    """A 24-bit bottom-up BMP as rows of RGB, top row first."""
    data = open(path, "rb").read()
    start = int.from_bytes(data[10:14], "little")
    w, h = int.from_bytes(data[18:22], "little"), int.from_bytes(data[22:26], "little")
    assert int.from_bytes(data[28:30], "little") == 24
    stride = (w * 3 + 3) // 4 * 4
    px = np.frombuffer(data, np.uint8, stride * h, start).reshape(h, stride)[:, :w * 3]
    return px.reshape(h, w, 3)[::-1, :, ::-1]
