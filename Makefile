# Entry points: `make run` builds and starts the program, `make test` builds and runs every test,
# `make package` makes the Debian package, `make install` installs.
BUILD ?= build
TYPE ?= RelWithDebInfo

.PHONY: run test deps build bench package install

run: build
	cd $(BUILD)/bin && ./morvel

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

bench: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen cmake --build . --target run-benchmarks

# The Debian package morvel_<version>_<arch>.deb in $(BUILD)/.
package: build
	cmake --build $(BUILD) --target package

# Installs under PREFIX (default /usr/local); DESTDIR works as usual.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

deps:
	@tools/setup-deps.sh

build: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE)
	cmake --build $(BUILD)

