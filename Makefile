# The two commands a newcomer needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test test-fast test-asan fuzz-smoke demo clean

all: build

deps:
	scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The quick loop: the ordinary build and its tests.
test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVH_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The XMG decoder under libFuzzer for a short while, from the seed images in
# fuzz/corpus/xmg; what it finds goes to $(FUZZ_BUILD), never into the seeds.
XMG_FUZZ_SOURCES = fuzz/xmg_decode_fuzz.cpp $(wildcard xmg/*.cpp) \
  common/stream.cpp common/pixel_map.cpp common/byte_buffer.cpp common/bytes.cpp

$(FUZZ_BUILD)/xmg_decode_fuzz: $(XMG_FUZZ_SOURCES) $(wildcard xmg/*.h common/*.h)
	mkdir -p $(FUZZ_BUILD)
	clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
	  -I. $(XMG_FUZZ_SOURCES) -o $@

fuzz-smoke: $(FUZZ_BUILD)/xmg_decode_fuzz
	mkdir -p $(FUZZ_BUILD)/corpus-xmg
	$(FUZZ_BUILD)/xmg_decode_fuzz -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 \
	  -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus-xmg fuzz/corpus/xmg

test: test-fast test-asan fuzz-smoke

# Installs a translation into a made-up game under build/demo.
demo: build
	scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
