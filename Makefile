# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
GENERATOR ?= Ninja
CMAKE_FLAGS ?=
FILE ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test run bench clean format

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

bench: build
	$(BUILD)/bench/zepho-bench $(BENCH_ARGS)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
