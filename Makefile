# Quick start:  make play   (install what is missing, build, make the demo clip, run it)
#               make test   (build plain and sanitizer configurations, run every test in them)

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
DEMO ?= $(BUILD)/demo.vxa

# Debian packages the build needs, and a file or command that shows each is there.
PKGS := g++:/usr/bin/g++ cmake:/usr/bin/cmake make:/usr/bin/make pkg-config:/usr/bin/pkg-config \
        libgtest-dev:/usr/include/gtest/gtest.h libgmock-dev:/usr/include/gmock/gmock.h \
        libbenchmark-dev:/usr/include/benchmark/benchmark.h \
        libpng-dev:/usr/include/png.h libsdl2-dev:/usr/include/SDL2/SDL.h \
        libsdl2-ttf-dev:/usr/include/SDL2/SDL_ttf.h fonts-dejavu-core:/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
        xvfb:/usr/bin/xvfb-run xauth:/usr/bin/xauth libjpeg-dev:/usr/include/jpeglib.h \
        lomiri-wallpapers-16.04:/usr/share/doc/lomiri-wallpapers-16.04/copyright

# Test configurations `make test` runs, each with a build folder and a
# test-NAME target below; a new one (say tsan) adds its name here, a
# tsan_BUILD folder and a test-tsan target.
TEST_CONFIGS := plain asan tsan
plain_BUILD := $(BUILD)
asan_BUILD := $(ASAN_BUILD)
tsan_BUILD := $(TSAN_BUILD)
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A reported race fails its test (the sanitizer's exit code 66).
TSAN_ENV := TSAN_OPTIONS=second_deadlock_stack=1

PREFIX ?= /usr/local

.PHONY: all deps build build-asan build-tsan test test-plain test-asan test-tsan play bench fuzz clean install

all: build

deps:
	@./tools/install-deps.sh $(PKGS)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON -DVEXA_BENCH=OFF

# Only the threaded tests and what they link (tests/CMakeLists.txt lists them).
$(TSAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_TSAN=ON -DVEXA_BENCH=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j$(JOBS)

build-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target threaded_tests

# One configuration: ctest's output goes to its log; the console gets the
# failures and the closing lines.
test-plain: build
	@./tools/run-tests.sh plain $(BUILD) $(JOBS)

test-asan: build-asan
	@$(ASAN_ENV) ./tools/run-tests.sh asan $(ASAN_BUILD) $(JOBS)

test-tsan: build-tsan
	@$(TSAN_ENV) ./tools/run-tests.sh tsan $(TSAN_BUILD) $(JOBS)

# Every configuration, even after one fails; ends with each one's closing
# lines and fails when any did.
test:
	@rm -f $(foreach c,$(TEST_CONFIGS),$($(c)_BUILD)/test-summary.txt)
	@status=0; for c in $(TEST_CONFIGS); do $(MAKE) --no-print-directory test-$$c || status=1; done; \
	  ./tools/test-summary.sh $(foreach c,$(TEST_CONFIGS),$(c):$($(c)_BUILD)); exit $$status

# The vexa program into PREFIX/bin (make install PREFIX=$$HOME/.local).
install: build
	install -d $(DESTDIR)$(PREFIX)/bin
	install -m 755 $(BUILD)/tools/vexa $(DESTDIR)$(PREFIX)/bin/vexa

$(DEMO): build
	./tools/make-demo.sh $(BUILD)/tools/vexa $(DEMO)

play: build $(DEMO)
	./tools/play-demo.sh $(BUILD)/tools/vexaplay $(DEMO)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_FUZZ=ON -DVEXA_BENCH=OFF -DVEXA_TESTS=ON
	cmake --build build-fuzz -j$(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
