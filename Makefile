# Top-level entry points. Every target installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build check test asan demo bench fuzz format format-check clean install

# Installation root and staging directory: make install PREFIX=/opt/tessaro DESTDIR=/tmp/stage
PREFIX  ?= /usr/local
DESTDIR ?=

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCH=OFF

asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0:abort_on_error=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS)

check: format-check test asan

# Long fuzzing runs (FUZZ_SECONDS per target) over the targets of the sanitizer build.
FUZZ_SECONDS ?= 120
fuzz: asan
	scripts/fuzz.sh $(ASAN_BUILD) $(FUZZ_SECONDS)

demo: build
	scripts/demo.sh $(BUILD)

bench: build
	scripts/install-bench-deps.sh
	scripts/bench.sh $(BUILD)

# Both programs, tessaro-csv, the program-name variants (symlinks) and the manual pages.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Every tracked C++ source, as clang-format with the checked-in .clang-format keeps it.
FORMATTED = $$(git ls-files '*.cpp' '*.h')

format: deps
	clang-format -i $(FORMATTED)

# Fails on any formatting drift (run `make format` to fix it).
format-check: deps
	clang-format --dry-run --Werror $(FORMATTED)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
