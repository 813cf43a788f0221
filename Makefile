# Two entry points: `make run` builds and starts the program, `make test` builds and runs every test.
BUILD ?= build
TYPE ?= RelWithDebInfo

.PHONY: run test deps build bench

run: build
	cd $(BUILD)/bin && ./morvel

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

bench: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen cmake --build . --target run-benchmarks

deps:
	@tools/setup-deps.sh

build: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE)
	cmake --build $(BUILD)

