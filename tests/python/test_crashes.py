"""Nothing crashes, nothing hangs, nothing lies: objects made without
__init__, pickles made to break a car, a second __init__, names that are
not UTF-8, a trace larger than the machine, Ctrl-C in long calls.  Each
case runs in a process of its own, so that a crash fails that case alone."""
import subprocess
import sys

import pytest

PRELUDE = """
import os, pickle, signal, threading, time
import numpy as np
import caravelt
from caravelt import Car, Fleet, CarEnv, VectorEnv

def ctrl_c_in(seconds):
    threading.Timer(seconds, os.kill, (os.getpid(), signal.SIGINT)).start()

# Ctrl-C ends a long call within a second; a build under the sanitizers runs all ten times slower.
WITHIN = 1.5 * (10 if "asan" in os.environ.get("LD_PRELOAD", "") else 1)

class Pickled:
    '''A pickle made to call what it likes, with what it likes.'''
    def __init__(self, call, *args):
        self.call, self.args = call, args
    def __reduce__(self):
        return self.call, self.args

def fleet_state(changed):
    fleet = Fleet(Car(), caravelt.COURSES["slalom"], n=2)
    mark, course, threads, data = fleet.__getstate__()
    return (mark, course, threads, changed(data))

def stops(call, after=lambda: None):
    ctrl_c_in(0.3); t = time.monotonic()
    try: call()
    except KeyboardInterrupt: assert time.monotonic() - t < WITHIN; after(); raise
"""

# (code, the exception it must end in, words of its message); "" when it must succeed.
UNMADE = ["CarEnv.__new__(CarEnv).step(16)", "VectorEnv.__new__(VectorEnv).step(np.zeros(2, np.int64))",
          "Fleet.__new__(Fleet).step(1)", "Car.__new__(Car).GearMax", "caravelt.sheet(Car.__new__(Car))",
          "Fleet([Car.__new__(Car)])", "caravelt.Course.__new__(caravelt.Course).gates"]
REMADE = ["c = Car(); c.__init__(Mass=900)", "f = Fleet(); f.__init__()", "e = CarEnv(); e.__init__(max_seconds=5)",
          "f = Fleet(); f.__setstate__(f.__getstate__())"]
BROKEN_STATE = ["d[:-3]", "bytes(len(d))", "d.replace(b'\\x05\\x00\\x00\\x00', b'\\xff\\x7f\\x00\\x00')"]
CASES = [(c, "TypeError", "made without its __init__") for c in UNMADE] + \
    [(c, "TypeError", "does not change once made") for c in REMADE] + \
    [(f"caravelt._fleet_from_state(fleet_state(lambda d: {c}))", "ValueError", "not a pickle of this Caravelt's")
     for c in BROKEN_STATE] + [
    ("pickle.loads(pickle.dumps(Pickled(caravelt._car_from_fields, dict(Car().fields(), GearMax=32660))))",
     "ValueError", "GearMax must be 1 to 7"),
    ("pickle.loads(pickle.dumps(Pickled(caravelt._car_from_fields, {'Mass': float('nan')})))",
     "ValueError", "Mass takes a finite number"),
    ("hasattr(Car(), '__setstate__') and Car().__setstate__({'Mass': 900})", "", ""),
    # File names of any bytes, UTF-8 or not, as the file system gives them.
    ("open(b'/tmp/caravelt-\\xff.toml', 'w').write('Mass = 900\\n'); assert Car(b'/tmp/caravelt-\\xff.toml').Mass == 900",
     "", ""),
    ("Car(os.fsdecode(b'/tmp/caravelt-\\xfe-none.toml'))", "FileNotFoundError", "caravelt-"),
    ("open(b'/tmp/caravelt-\\xff.txt', 'w').write('1 A\\n'); assert len(caravelt.run(b'/tmp/caravelt-\\xff.txt')) == 1",
     "", ""),
    ("open(b'/tmp/caravelt-\\xfd.toml', 'w').write('Mas = 900\\n'); Car(b'/tmp/caravelt-\\xfd.toml')",
     "ValueError", "caravelt-\\xfd.toml:1: unknown field"),
    # No memory asked for that the machine has not; Ctrl-C ends long calls, the object usable after.
    ("caravelt.run('100000000 Up\\n' * 5)", "MemoryError", "more than this machine's"),
    ("ctrl_c_in(0.3); caravelt.run('30000000 Up\\n')", "KeyboardInterrupt", ""),
    ("e = CarEnv(ticks_per_step=10**12, max_seconds=1e12); e.reset(); stops(lambda: e.step(1), e.reset)",
     "KeyboardInterrupt", ""),
    ("e = VectorEnv(4, ticks_per_step=10**12, max_seconds=1e12); e.reset()\n"
     "stops(lambda: e.step(np.ones(4, np.int64)), e.reset)", "KeyboardInterrupt", ""),
    ("f = Fleet(n=8); keys = np.ones((8, 4 * 10**6), np.uint16); stops(lambda: f.rollout(keys), lambda: f.step(1))",
     "KeyboardInterrupt", ""),
    ("stops(lambda: caravelt.best_lap(course=caravelt.COURSES['slalom'], budget=1000))", "KeyboardInterrupt", ""),
]


@pytest.mark.parametrize("code,kind,words", CASES, ids=[c[0][:40] for c in CASES])
def test_refused_in_our_words_never_a_crash(code, kind, words):
    script = PRELUDE + "\ntry:\n" + "".join(f"    {line}\n" for line in code.split("\n")) + \
        "    print('done')\nexcept BaseException as e:\n    print(type(e).__name__ + ': ' + str(e))\n"
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=60)
    out = done.stdout.decode(errors="backslashreplace").strip()
    assert done.returncode == 0, f"status {done.returncode}: {done.stderr.decode()[-2000:]}"
    if not kind:
        assert out == "done", out
    else:
        assert out.startswith(kind + ":") and words in out, out
