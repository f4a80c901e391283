# The two commands a newcomer needs: `make demo` and `make test`. Both install
# the Debian packages first (`make deps`; `make test` and `make windows` also
# the cross compiler and Wine, `make deps-windows`); a plain `make` only builds.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
FUZZ_SECONDS ?= 60
# Each of the 13 targets this long in `make test`: 4 to 5 minutes in all.
FUZZ_SMOKE_SECONDS ?= 20
JOBS       ?= $(shell nproc)

.PHONY: all deps deps-windows configure build test test-fast test-asan test-windows windows fuzz-build fuzz fuzz-smoke \
  check-large mutate demo bench release check-release clean

all: build

deps:
	scripts/install-deps

deps-windows:
	scripts/install-deps build windows

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
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVH_WERROR=ON -DVH_TESTS=ON -DVH_BENCH=ON
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

# The Windows build: the libraries it links, built once from Debian's source
# packages into the cache (scripts/windows-deps), then the layers that build
# for Windows and their test program, each program checked to import only
# the system's DLLs.
# A build tree configured over another prefix (other library versions)
# starts afresh, since CMake keeps the libraries it found. Optimised as the
# Linux build is, without debugging information, which made vhpatch.exe
# fifteen times its stripped size for the linker to write, and which the
# release strips anyway.
windows: deps-windows
	deps=$$(scripts/windows-deps) && \
	if ! grep -qsx "VH_WINDOWS_DEPS:PATH=$$deps" $(WINDOWS_BUILD)/CMakeCache.txt; then \
	  rm -f $(WINDOWS_BUILD)/CMakeCache.txt; fi && \
	cmake -S . -B $(WINDOWS_BUILD) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVH_WINDOWS_DEPS="$$deps" \
	  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DVH_WERROR=ON
	cmake --build $(WINDOWS_BUILD) -j$(JOBS)

# That test program under Wine, in a Wine prefix of its own; then the
# window tests on an X server of their own; then vhpatch.exe against the
# Linux programs of $(BUILD) on the sample game, its install button
# clicked and its screenshots in $(WINDOWS_BUILD)/screenshots. Each step
# says how long it took.
test-windows:
	@started=$$(date +%s) && $(MAKE) --no-print-directory windows && \
	  echo "test-windows: make windows took $$(($$(date +%s) - started)) s"
	test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@started=$$(date +%s) && cmake --build $(BUILD) -j$(JOBS) --target vhpatch vhtool && \
	  echo "test-windows: the Linux vhpatch and vhtool took $$(($$(date +%s) - started)) s"
	@started=$$(date +%s) && scripts/wine-tests $(WINDOWS_BUILD) && \
	  echo "test-windows: wine-tests took $$(($$(date +%s) - started)) s"
	@started=$$(date +%s) && scripts/wine-window-test $(WINDOWS_BUILD) && \
	  echo "test-windows: wine-window-test took $$(($$(date +%s) - started)) s"
	@started=$$(date +%s) && scripts/wine-vhpatch-test $(WINDOWS_BUILD) $(BUILD) && \
	  echo "test-windows: wine-vhpatch-test took $$(($$(date +%s) - started)) s"

test: deps deps-windows
	$(MAKE) test-fast test-asan fuzz-smoke test-windows

# Installs a translation into a made-up game under build/demo. Builds the
# two programs alone (a build folder configured before keeps its options).
demo:
	scripts/install-deps build
	test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVH_TESTS=OFF -DVH_BENCH=OFF
	cmake --build $(BUILD) -j$(JOBS) --target vhpatch vhtool
	scripts/demo $(BUILD)

# The release players download, built in a Debian 11 root: dist/ gets
# vhpatch-<version>-linux-x86_64.tar.gz and SHA256SUMS (scripts/release).
# Needs root, for debootstrap and chroot.
release:
	scripts/install-deps release
	scripts/release

# The Linux archive unpacked and run in a Debian 11 root with only the X
# runtime libraries, against this machine's own build (scripts/check-release).
check-release: release
	scripts/install-deps build release
	test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVH_TESTS=OFF -DVH_BENCH=OFF
	cmake --build $(BUILD) -j$(JOBS) --target vhpatch vhtool
	scripts/check-release $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD) build-mutate dist
	# The release's roots: never into a mount a stopped run left inside.
	rm -rf --one-file-system build-release
