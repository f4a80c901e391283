# The two commands a newcomer needs: `make demo` and `make test`. Both install
# the Debian packages first (`make deps`); a plain `make` only builds.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# Each of the 13 targets this long in `make test`: 4 to 5 minutes in all.
FUZZ_SMOKE_SECONDS ?= 20
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test test-fast test-asan fuzz-build fuzz fuzz-smoke check-large mutate demo bench clean

all: build

deps:
	scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The quick loop: the ordinary build and its tests, warnings as errors. The
# attacks (label `attack`: a killed run, a full disk, a write failing at
# every byte, the hostile inputs) run last with their output shown, for the
# counts and outcomes each ends with.
test-fast:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVH_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE attack
	cd $(BUILD) && ctest --verbose -j$(JOBS) -L attack

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVH_SANITIZE=ON -DVH_WERROR=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The fuzz targets, built by CMake with clang in a tree of their own.
fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_C_COMPILER=clang -DVH_FUZZ=ON -DVH_TESTS=OFF -DVH_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz-targets

# Every target under libFuzzer for FUZZ_SECONDS, from the seeds in
# fuzz/corpus/<target>; what they find goes to $(FUZZ_BUILD), never into the
# seeds. Ends with the executions and the number of crashes.
fuzz: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The same, FUZZ_SMOKE_SECONDS per target, as part of `make test`.
fuzz-smoke: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SMOKE_SECONDS)

# Outside CI: the kill test on the large sample game, 100 runs, then the
# round trips of an unchanged export and of the PO route on it, and the
# export's count of its texts against the generator's.
check-large: build
	VH_KILL_TEST_SIZE=large VH_KILL_TEST_RUNS=100 $(BUILD)/vhtests \
	  --gtest_filter='InstallAttack.AKilledInstallation*'
	VH_SAMPLE_SIZE=large $(BUILD)/vhtests \
	  --gtest_filter='VhtoolExport.AnUnchangedExport*:VhtoolExport.ThePoRoute*:VhtoolExport.OffersEveryText*'

# Outside CI: the translator's loop timed on the large sample game, each
# figure against its goal, into bench/results.md. BENCH_RUNS runs (3), scratch
# data in BENCH_DIR ($(BUILD)/bench-data); scripts/bench says the rest.
bench: build
	scripts/bench $(BUILD)

# Outside CI: breaks the safety-critical code line by line and reports any
# break that no test notices (scripts/mutate --list names them).
mutate:
	scripts/mutate

test: deps
	$(MAKE) test-fast test-asan fuzz-smoke

# Installs a translation into a made-up game under build/demo.
demo: deps
	$(MAKE) build
	scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-mutate
