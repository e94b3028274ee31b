"""The cluster sweep example against caravelt-sim's own sweep."""
import os
import subprocess
import sys

import pytest

from conftest import DATA, sim

EXAMPLE = os.path.join(os.path.dirname(DATA), "examples", "sweep_dask.py")


# Catches a grid laid out otherwise than caravelt-sim's (values, places, order, a whole field, a
# gear's entry, a step down), rows lost or out of order between workers, and figures or a fault
# printed otherwise than the sheet prints them.
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="worker processes under the sanitizer")
def test_the_dask_sweep_gives_caravelt_sims_rows(tmp_path):
    car = tmp_path / "strong.toml"
    car.write_text("PeakTorque = 100000\n")   # 10 kg of it leaves what a float holds
    grid = ["--car", str(car), "--vary", "Mass=10:1010:1000", "--vary", "GearReduction[2]=3.5:2.5:-0.5",
            "--vary", "GearMax=4.0:5:1"]
    expected = sim("--sheet", *grid)
    assert '"' in expected and expected.count("\n") == 1 + 2 * 3 * 2
    done = subprocess.run([sys.executable, EXAMPLE, *grid, "--workers", "2", "--per-task", "1"],
                          capture_output=True, timeout=300)
    assert done.returncode == 0, done.stderr.decode()
    assert done.stdout.decode() == expected


# Catches a bad grid that starts a cluster, or is refused without saying why.
def test_a_bad_grid_is_refused_before_any_work():
    for grid, words in [("Mass=800:1400", "NAME=FROM:TO:STEP"), ("Mass=1e3:2e3:100", "plain decimals"),
                        ("Mass=800:1400:-100", "STEP must move"), ("Mass=0:100:50", "Mass must be 10 to"),
                        ("Mas=800:900:100", "unknown field"), ("GearMax=1.5:3:1", "takes integers")]:
        done = subprocess.run([sys.executable, EXAMPLE, "--vary", grid], capture_output=True, timeout=60)
        lines = done.stderr.decode().splitlines()
        assert done.returncode == 2 and len(lines) == 1 and words in lines[0], (grid, lines)
        assert done.stdout == b""
