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
