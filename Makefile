# The two commands for users are `make run` and `make test`; the rest are for developers.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all deps configure build client run test test-asan bench format clean package

all: build

deps:
	@bash scripts/install-deps.sh

# A build folder counts as configured once CMake has finished there: the stamp is written only
# after a successful configure. A folder without it (a configure that failed or was interrupted)
# is configured again from scratch. The packages come first, even under `make -j`.
$(BUILD)/.configured: | deps
	rm -f $(BUILD)/CMakeCache.txt $@
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	touch $@

configure: $(BUILD)/.configured

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only what the application folder needs: the client, the device library emulator and the
# programs that lie beside it.
client: configure
	cmake --build $(BUILD) -j $(JOBS) --target client

# The Debian packages kestrafon and kestrafon-emulator in $(BUILD)/ (cmake/KfPackage.cmake).
package: client
	cmake --build $(BUILD) --target package_docs
	cd $(BUILD) && cpack -G DEB

# Starts the client from its application folder with the emulated devices.
run: client
	bash scripts/run-client.sh $(BUILD)/app $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Unit tests only, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKF_SANITIZE=ON -DKF_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benches
	bash bench/run.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
