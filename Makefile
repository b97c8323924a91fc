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

TSAN_BUILD ?= build-tsan

.PHONY: all deps configure build test run install bench fuzz fuzz-replay tsan clean format

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
	$(MAKE) --no-print-directory fuzz-replay
	$(MAKE) --no-print-directory tsan

# The parsers and the fuzz targets once more, built by clang with ASan and UBSan (float casts
# included), over every seed and kept regression. Only the layers the targets use are built.
fuzz-replay: $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target zepho-fuzz-all
	fuzz/run.sh replay $(FUZZ_BUILD)

$(FUZZ_BUILD)/build.ninja:
	@./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DZEPHO_BUILD_FUZZ=ON \
	  -DZEPHO_BUILD_APP=OFF -DZEPHO_BUILD_TESTS=OFF -DZEPHO_BUILD_BENCH=OFF

# The layers below the shell and their suites once more, built by clang with ThreadSanitizer, and
# the batch tool converting files on four threads; any report fails its test (tests/CMakeLists.txt
# sets the sanitizer's options, tests/tsan holds its suppressions). Only the suites and the tool
# are built. The sanitizer's runtime (clang 14) cannot map its shadow memory on kernels that
# randomise addresses with more than 28 bits, so the suites run without address randomisation
# where the machine lets us turn it off.
tsan: $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target zepho-tsan-all
	@norandom=; if setarch $$(uname -m) -R true 2>/dev/null; then norandom="setarch $$(uname -m) -R"; fi; \
	  echo "$$norandom ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS)"; \
	  $$norandom ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS)

$(TSAN_BUILD)/build.ninja:
	@./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -G $(GENERATOR) -DZEPHO_BUILD_TSAN=ON \
	  -DZEPHO_BUILD_APP=OFF -DZEPHO_BUILD_BENCH=OFF

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

# make fuzz FUZZ_TARGET=psd FUZZ_SECONDS=300 (targets: native clipboard roundtrip gif gifpreview
# icon ani psd bmp jpeg tiff tga pcx png avi webp avif heif jxl); findings land in $(FUZZ_BUILD)/findings.
fuzz: $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_$(FUZZ_TARGET) zepho-fuzz-seeds
	fuzz/run.sh fuzz $(FUZZ_BUILD) $(FUZZ_TARGET) $(FUZZ_SECONDS)

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
