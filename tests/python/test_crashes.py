"""Nothing crashes, nothing hangs, nothing lies: objects made without
__init__, pickles made to break a car, a second __init__, names that are
not UTF-8, a trace larger than the machine, Ctrl-C in long calls.  Each
case runs in a process of its own, so that a crash fails that case alone."""
import os
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
"""

# (code, the exception it must end in, words of its message); "" when it must succeed.
CASES = [
    ("CarEnv.__new__(CarEnv).step(16)", "TypeError", "made without its __init__"),
    ("VectorEnv.__new__(VectorEnv).step(np.zeros(2, np.int64))", "TypeError", "made without its __init__"),
    ("Fleet.__new__(Fleet).step(1)", "TypeError", "made without its __init__"),
    ("Car.__new__(Car).GearMax", "TypeError", "made without its __init__"),
    ("caravelt.sheet(Car.__new__(Car))", "TypeError", "made without its __init__"),
    ("Fleet([Car.__new__(Car)])", "TypeError", "made without its __init__"),
    ("caravelt.Course.__new__(caravelt.Course).gates", "TypeError", "made without its __init__"),
    ("pickle.loads(pickle.dumps(Pickled(caravelt._car_from_fields, dict(Car().fields(), GearMax=32660))))",
     "ValueError", "GearMax must be 1 to 7"),
    ("pickle.loads(pickle.dumps(Pickled(caravelt._car_from_fields, {'Mass': float('nan')})))",
     "ValueError", "Mass takes a finite number"),
    ("caravelt._fleet_from_state(fleet_state(lambda d: d[:-3]))", "ValueError", "not a pickle of this Caravelt's"),
    ("caravelt._fleet_from_state(fleet_state(lambda d: bytes(len(d))))", "ValueError", "not a pickle of this Caravelt's"),
    ("caravelt._fleet_from_state(fleet_state(lambda d: d.replace(b'\\x05\\x00\\x00\\x00', b'\\xff\\x7f\\x00\\x00')))",
     "ValueError", "not a pickle of this Caravelt's"),
    ("c = Car(); c.__init__(Mass=900)", "TypeError", "does not change once made"),
    ("f = Fleet(); f.__init__()", "TypeError", "does not change once made"),
    ("e = CarEnv(); e.__init__(max_seconds=5)", "TypeError", "does not change once made"),
    ("f = Fleet(); f.__setstate__(f.__getstate__())", "TypeError", "does not change once made"),
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
    ("e = CarEnv(ticks_per_step=10**12, max_seconds=1e12); e.reset(); ctrl_c_in(0.3); t = time.monotonic()\n"
     "try: e.step(1)\nexcept KeyboardInterrupt: assert time.monotonic() - t < WITHIN; e.reset(); raise",
     "KeyboardInterrupt", ""),
    ("e = VectorEnv(4, ticks_per_step=10**12, max_seconds=1e12); e.reset(); ctrl_c_in(0.3); t = time.monotonic()\n"
     "try: e.step(np.ones(4, np.int64))\nexcept KeyboardInterrupt: assert time.monotonic() - t < WITHIN; e.reset(); raise",
     "KeyboardInterrupt", ""),
    ("f = Fleet(n=8); keys = np.ones((8, 4 * 10**6), np.uint16); ctrl_c_in(0.3); t = time.monotonic()\n"
     "try: f.rollout(keys)\nexcept KeyboardInterrupt: assert time.monotonic() - t < WITHIN; f.step(1); raise",
     "KeyboardInterrupt", ""),
    ("ctrl_c_in(0.3); t = time.monotonic()\n"
     "try: caravelt.best_lap(course=caravelt.COURSES['slalom'], budget=1000)\n"
     "except KeyboardInterrupt: assert time.monotonic() - t < WITHIN; raise",
     "KeyboardInterrupt", ""),
]


@pytest.mark.parametrize("code,kind,words", CASES, ids=[c[0][:40] for c in CASES])
def test_refused_in_our_words_never_a_crash(code, kind, words):
    script = PRELUDE + "\ntry:\n" + "".join(f"    {line}\n" for line in code.split("\n")) + \
        "    print('done')\nexcept BaseException as e:\n    print(type(e).__name__ + ': ' + str(e))\n"
    env = dict(os.environ)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=60, env=env)
    out = done.stdout.decode(errors="backslashreplace").strip()
    assert done.returncode == 0, f"status {done.returncode}: {done.stderr.decode()[-2000:]}"
    if not kind:
        assert out == "done", out
    else:
        assert out.startswith(kind + ":") and words in out, out
