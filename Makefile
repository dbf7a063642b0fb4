# The two everyday commands: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: deps deps-test configure build run test clean

deps:
	scripts/install-deps run

deps-test:
	scripts/install-deps test

configure:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/zariza

test: deps-test configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)

# The habits the compiler does not check: the formatting of every tracked C++ file
# (.clang-format) and clang-tidy's checks (.clang-tidy) over the sources the build compiles.
CXX_FILES = $(shell git ls-files '*.cpp' '*.h')
TIDY_SOURCES = $(shell git ls-files 'app/*.cpp' 'textbox/*.cpp' 'commands/*.cpp' 'runtime/*.cpp' \
	'platform/*.cpp' 'platform/linux/*.cpp')

.PHONY: lint format

format:
	clang-format -i $(CXX_FILES)

lint: deps-test configure
	clang-format --dry-run --Werror $(CXX_FILES)
	cmake --build $(BUILD_DIR) -j $(JOBS)
	run-clang-tidy -quiet -j $(JOBS) -p $(BUILD_DIR) $(TIDY_SOURCES)

# Installing, the Debian package and the screenshot (cmake/install.cmake, scripts/screenshot).
PREFIX ?= /usr/local

.PHONY: install package screenshot

# `make install PREFIX=/usr DESTDIR=/tmp/stage` fills a staging root instead of the system.
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Leaves $(BUILD_DIR)/zariza_<version>_<arch>.deb; dpkg-shlibdeps comes with the test tools.
package: deps-test configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target package

screenshot: deps-test build
	scripts/screenshot $(BUILD_DIR)/zariza docs/screenshot.png

# The unit suite under AddressSanitizer, LeakSanitizer and UBSan (cmake/sanitize.cmake): any
# report fails its test. The real-window tests (label e2e) and the timing tests (label perf,
# meaningless with instrumented code) stay out.
SANITIZE_BUILD_DIR ?= build-sanitize
SANITIZER_OPTIONS = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The codec's libFuzzer target (fuzz/), built with clang, run for FUZZ_SECONDS. Inputs it finds
# go to $(FUZZ_BUILD_DIR)/corpus; a failing input is left in $(FUZZ_BUILD_DIR) as crash-*.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: test-sanitize fuzz

test-sanitize: deps-test
	cmake -S . -B $(SANITIZE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_PROJECT_INCLUDE=$(CURDIR)/cmake/sanitize.cmake
	cmake --build $(SANITIZE_BUILD_DIR) -j $(JOBS)
	$(SANITIZER_OPTIONS) ctest --test-dir $(SANITIZE_BUILD_DIR) --output-on-failure -j $(JOBS) \
		-LE "e2e|perf"

fuzz: deps-test
	cmake -S fuzz -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)
	mkdir -p $(FUZZ_BUILD_DIR)/corpus
	@echo "fuzz: running for $(FUZZ_SECONDS) s, log in $(FUZZ_BUILD_DIR)/fuzz.log"
	@$(FUZZ_BUILD_DIR)/fuzz_codec -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
		-dict=fuzz/codec.dict -artifact_prefix=$(FUZZ_BUILD_DIR)/ -print_final_stats=1 \
		$(FUZZ_BUILD_DIR)/corpus fuzz/corpus > $(FUZZ_BUILD_DIR)/fuzz.log 2>&1 \
		|| { tail -n 60 $(FUZZ_BUILD_DIR)/fuzz.log; exit 1; }
	@grep -E '^(Done|stat::)' $(FUZZ_BUILD_DIR)/fuzz.log

# Benchmarks against their floors; writes docs/performance.md and docs/performance.png.
BENCH_DIR ?= build-bench

.PHONY: bench

# Also installs the editors the editor is timed beside (scripts/install-deps bench); PEER_RUNS sets
# how often each of them is timed.
bench:
	scripts/install-deps bench
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARIZA_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	scripts/bench-report $(BENCH_DIR)

# Windows, the editor's home platform: cross-built with MinGW against a Qt built from Debian's
# qt6-base source (the first time about 13 minutes, then reused from /var/cache/zariza), packed as
# build-windows/zariza-<version>-setup.exe and a portable zip, and tested under Wine.
WINDOWS_BUILD_DIR ?= build-windows

.PHONY: windows test-windows

windows:
	scripts/install-deps windows
	JOBS=$(JOBS) scripts/build-windows $(WINDOWS_BUILD_DIR)

# The unit tests, the real window and the installer under Wine, in Wine prefixes of the build's.
test-windows: windows
	for prefix in wine-prefix wine-prefix-window; do \
		tests/windows/prepare_wine_prefix $(CURDIR)/$(WINDOWS_BUILD_DIR)/$$prefix || exit 1; done
	ctest --test-dir $(WINDOWS_BUILD_DIR) --output-on-failure -j $(JOBS)
