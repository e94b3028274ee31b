# Caravelt: `make run` to play, `make test` to check everything.
# Both install what is missing (Debian packages) before building.

BUILD       := build
DEBUG_BUILD := build-debug
PYTHON      := /usr/bin/python3
JOBS        := $(shell nproc 2>/dev/null || echo 2)
# Gymnasium's source, for the tests and benchmarks that hold the
# environments to it (beside the checkout; not part of the project).
GYMNASIUM   := $(abspath ../shared/vendor)
# The end-to-end scripts mostly wait on the game's clock: more at once than cores.
E2E_JOBS    := $(shell echo $$(( $(JOBS) * 2 )))

RUN_PKGS   := cmake g++ make pkg-config liballegro4-dev libtomlplusplus-dev
# The Python module, for Debian's /usr/bin/python3.
PY_PKGS    := pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed python3-tqdm \
              python3-typing-extensions python3-cloudpickle
TEST_PKGS  := $(RUN_PKGS) $(PY_PKGS) libgtest-dev xvfb xdotool imagemagick
BENCH_PKGS := $(RUN_PKGS) $(PY_PKGS) libbenchmark-dev
PLOT_PKGS  := $(RUN_PKGS) gnuplot-nox imagemagick

.PHONY: all build run test-build check test test-release test-debug-build exhaustive bench plots sheet sweep lapmap drives clean deps-run deps-test deps-bench deps-plots

all: build

deps-run:   ; @sh tools/need.sh $(RUN_PKGS)
deps-test:  ; @sh tools/need.sh $(TEST_PKGS)
deps-bench: ; @sh tools/need.sh $(BENCH_PKGS)
deps-plots: ; @sh tools/need.sh $(PLOT_PKGS)

# Only what running needs: the game and caravelt-sim, no test or benchmark
# library looked for, no Python module built.
build: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt caravelt-sim

# From this folder: the game finds its pictures beside its binary.
# CAR=data/cars/light.toml drives a car file; ARGS="--windowed --record
# r.rec" passes any other options (paths from this folder too).
run: build
	$(BUILD)/caravelt $(if $(CAR),--car '$(CAR)') $(ARGS)

# The Release build with its tests, every source compiled once.
test-build: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=ON -DCARAVELT_BENCH=OFF -DCARAVELT_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

# The edit-test loop: the unit tests of the Release build alone.
check: test-build
	cd $(BUILD) && ctest -L unit -j $(JOBS) --output-on-failure

# Every test in Release (the game build), the end-to-end scripts each in
# its own X server, side by side; meanwhile, at a lower priority (those
# scripts mostly wait on the game's clock), the Debug build, whose unit
# tests then run under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-build
	$(MAKE) --no-print-directory -j 2 test-release test-debug-build
	cd $(DEBUG_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest -L unit -j $(JOBS) --output-on-failure

test-release:
	cd $(BUILD) && ctest -j $(E2E_JOBS) --output-on-failure

test-debug-build: deps-test
	cmake -S . -B $(DEBUG_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCARAVELT_TESTS=ON -DCARAVELT_WERROR=ON -DCARAVELT_SANITIZE=ON
	nice -n 10 cmake --build $(DEBUG_BUILD) -j $(JOBS)

# The fast replacements against their definitions over every float
# (Release, a minute or two on one core).
exhaustive: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=ON -DCARAVELT_BENCH=OFF -DCARAVELT_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS) --target sweep_sin sweep_float_text
	$(BUILD)/tests/sweep_sin --full
	$(BUILD)/tests/sweep_float_text --full

clean:
	rm -rf $(BUILD) $(DEBUG_BUILD)

# Benchmarks, Release: one tick, one composed frame, an hour headless;
# then the Python module's fleet; then the driver (some eight minutes:
# a minute for each shipped course; bench_driver --ten adds ten times
# that, once).
bench: deps-bench
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	$(BUILD)/bench/caravelt_bench
	PYTHONPATH=$(BUILD)/python:$(GYMNASIUM):$(GYMNASIUM)/stub $(PYTHON) bench/bench_python.py
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/learn_slalom.py --seconds 60 --ghost $(BUILD)/slalom-learned.rec
	$(BUILD)/bench/bench_driver

# The guides' pictures, remade with caravelt-sim, ImageMagick and gnuplot.
plots: deps-plots
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt-sim
	sh tools/plots.sh $(BUILD)/caravelt-sim

# The handling sheet of the shipped cars into docs/sheet.md, and its picture.
sheet: deps-plots
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt-sim
	sh tools/sheet.sh $(BUILD)/caravelt-sim

# The shipped courses' drives by the driver: docs/courses/*.txt and their
# target laps, data/courses/targets/*.rec (gold, silver, bronze); some
# four minutes.
drives: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt-sim
	sh tools/drives.sh $(BUILD)/caravelt-sim

# A sweep of the sheet drawn as a heat map: docs/sweep.png.
sweep: deps-plots
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt-sim
	sh tools/sweep.sh $(BUILD)/caravelt-sim

# The driver's best lap of the autocross over a grid of setups: docs/lapmap.png.
lapmap: deps-plots
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCARAVELT_TESTS=OFF -DCARAVELT_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target caravelt-sim
	sh tools/lapmap.sh $(BUILD)/caravelt-sim
