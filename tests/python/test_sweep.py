"""The handling sheet and the cluster sweep example against caravelt-sim's
own sheet and sweep."""
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import pytest

import caravelt
from conftest import DATA, sim

EXAMPLE = os.path.join(os.path.dirname(DATA), "examples", "sweep_dask.py")


# Catches a figure from the wrong column or rounded unlike the sheet, a figure never reached given
# as a number, a fault not said, cars measured on threads side by side disturbing one another.
def test_sheet_is_caravelt_sims_sheet(tmp_path):
    wild = tmp_path / "wild.toml"
    wild.write_text("Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n")
    files = [os.path.join(DATA, "cars", f) for f in ("kvt.toml", "light.toml", "drift.toml")] + [str(wild)]
    table = sim("--sheet", "--shift", "5500", *[a for f in files for a in ("--car", f)])
    rows = [line.split("|")[2:-1] for line in table.splitlines()[2:2 + len(caravelt.SHEET_COLUMNS)]]
    with ThreadPoolExecutor(4) as pool:
        sheets = list(pool.map(lambda f: caravelt.sheet(f, shift=5500), files))
    for i, got in enumerate(sheets):
        expected = [cell.strip() for cell in (row[i] for row in rows)]
        assert list(got)[:-1] == list(caravelt.SHEET_COLUMNS)
        assert [None if e == "-" else type(v)(e) for e, v in zip(expected, got.values())] == list(got.values())[:-1]
    assert sheets[0]["top_gear"] == 5 and type(sheets[0]["top_gear"]) is int and sheets[0]["fault"] is None
    assert [v for k, v in sheets[3].items() if k != "fault"] == [None] * len(caravelt.SHEET_COLUMNS)
    assert f"wild: no figures: {sheets[3]['fault']}" in table
    assert caravelt.sheet(caravelt.Car(os.path.join(DATA, "cars", "light.toml"))) == caravelt.sheet(files[1])


# Catches a grid laid out unlike caravelt-sim's, rows lost or out of order between workers, and
# figures or a fault printed unlike the sheet.
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="worker processes under the sanitizer")
def test_the_dask_sweep_gives_caravelt_sims_rows(tmp_path):
    car = tmp_path / "wild.toml"   # with the most drag, it leaves what a float holds
    car.write_text("Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\n")
    grid = ["--car", str(car), "--vary", "DragCoeficient=0:200000:200000", "--vary",
            "GearReduction[2]=3.5:2.5:-0.5", "--vary", "GearMax=4.0:5:1"]
    expected = sim("--sheet", *grid)
    assert '"' in expected and expected.count("\n") == 1 + 2 * 3 * 2
    done = subprocess.run([sys.executable, EXAMPLE, *grid, "--workers", "2", "--per-task", "1"],
                          capture_output=True, timeout=300)
    assert done.returncode == 0 and done.stderr.decode() == "", done.stderr.decode()   # closed cleanly
    assert done.stdout.decode() == expected


# Catches a bad grid that starts a cluster, or is refused without saying why.
def test_a_bad_grid_is_refused_before_any_work():
    for grid, words in [("Mass=800:1400", "NAME=FROM:TO:STEP"), ("Mass=1e3:2e3:100", "plain decimals"),
                        ("Mass=800:1400:-100", "STEP must move"), ("Mass=0:100:50", "Mass must be 10 to"),
                        ("Mas=800:900:100", "unknown field"), ("GearMax=1.5:3:1", "takes integers")]:
        done = subprocess.run([sys.executable, EXAMPLE, "--vary", grid], capture_output=True, timeout=60)
        lines = done.stderr.decode().splitlines()
        assert done.returncode == 2 and len(lines) == 1 and words in lines[0] and not done.stdout, (grid, lines)
