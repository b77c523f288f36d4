# SPDX-License-Identifier: GPL-3.0-or-later
# Fennick: the two everyday commands are `make run` and `make test`.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=Release

.PHONY: run test build deps bench install clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The demo needs the program and the demo server only.
run: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target fennick fennick-demo-server
	@scripts/run-demo $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/run-benchmarks $(BUILD)

install: build
	@cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-notests build-asan build-fuzz
