# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
GENERATOR ?= Ninja
CMAKE_FLAGS ?=
FILE ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

PREFIX ?= /usr/local

FUZZ_BUILD ?= build-fuzz
FUZZ_TARGET ?= gif
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test run install bench fuzz clean format

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset)."; \
	  echo "To run the editor headless, use:  xvfb-run -a make run"; \
	  exit 1; \
	fi
	$(BUILD)/src/app/zepho $(FILE)

# make install PREFIX=$$HOME/.local: the programs, the desktop entry, the document type, the icons.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	$(BUILD)/bench/zepho-bench $(BENCH_ARGS)

# make fuzz FUZZ_TARGET=psd FUZZ_SECONDS=300 (targets: native clipboard gif icon ani psd bmp jpeg
# tiff tga pcx png avi); findings land in $(FUZZ_BUILD)/findings.
fuzz:
	@./scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DZEPHO_BUILD_FUZZ=ON \
	  -DZEPHO_BUILD_APP=OFF -DZEPHO_BUILD_TESTS=OFF -DZEPHO_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_$(FUZZ_TARGET) zepho-fuzz-seeds
	$(FUZZ_BUILD)/fuzz/zepho-fuzz-seeds $(FUZZ_BUILD)/corpus
	mkdir -p $(FUZZ_BUILD)/findings
	$(FUZZ_BUILD)/fuzz/fuzz_$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 \
	  -artifact_prefix=$(FUZZ_BUILD)/findings/ $(FUZZ_BUILD)/corpus/$(FUZZ_TARGET)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
