# Quick start:  make play   (install what is missing, build, make the demo clip, run it)
#               make test   (build plain and sanitizer configurations, run every test in both)

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
DEMO ?= $(BUILD)/demo.vxa

# Debian packages the build needs, and a file or command that shows each is there.
PKGS := g++:/usr/bin/g++ cmake:/usr/bin/cmake make:/usr/bin/make pkg-config:/usr/bin/pkg-config \
        libgtest-dev:/usr/include/gtest/gtest.h libgmock-dev:/usr/include/gmock/gmock.h \
        libbenchmark-dev:/usr/include/benchmark/benchmark.h \
        libpng-dev:/usr/include/png.h libsdl2-dev:/usr/include/SDL2/SDL.h \
        libsdl2-ttf-dev:/usr/include/SDL2/SDL_ttf.h fonts-dejavu-core:/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
        xvfb:/usr/bin/xvfb-run xauth:/usr/bin/xauth

.PHONY: all deps build build-asan test test-plain test-asan play bench fuzz clean

all: build

deps:
	@./tools/install-deps.sh $(PKGS)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON -DVEXA_BENCH=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j$(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

test: test-plain test-asan

$(DEMO): build
	./tools/make-demo.sh $(BUILD)/tools/vexa $(DEMO)

play: build $(DEMO)
	./tools/play-demo.sh $(BUILD)/tools/vexa $(DEMO)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_FUZZ=ON -DVEXA_BENCH=OFF -DVEXA_TESTS=ON
	cmake --build build-fuzz -j$(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-tsan
