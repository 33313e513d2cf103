# Entry points for a new user; each target first installs what is missing.
#   make test     build everything and run every test (native, fuzz, Wine)
#   make demo     build, then drive the plug-in under Wine with the stand-in engine
#   make bench    run the benchmarks (optimised native build, and the DLL under Wine)
#   make windows  cross-build the Windows binaries into build/windows
#   make dist     the release archive, dist/saori_speech-<version>.zip

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 30
# Earlier builds of the DLL for the Wine benchmark to time beside this one
# (paths, separated by spaces), e.g. make bench EARLIER_DLLS=/tmp/old/saori_speech.dll
EARLIER_DLLS ?=

.PHONY: all deps native windows wine-prefix test demo bench dist clean

all: native windows

deps:
	@scripts/install-deps

native: deps
	cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DSAORI_SANITIZE=ON -DSAORI_FUZZ=ON -DSAORI_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build build/native -j $(JOBS)

windows: deps
	cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DSAORI_NATIVE_TREE=$(CURDIR)/build/native
	cmake --build build/windows -j $(JOBS)

wine-prefix: deps
	@scripts/wine-prefix

# Wine's prefix is made ready while the trees build (scripts/run-tests).
# exec: make passes SIGTERM to its child, which is then run-tests itself
# (the shell between would die of it and leave run-tests running).
test: deps
	@MAKE="$(MAKE)" JOBS=$(JOBS) FUZZ_SECONDS=$(FUZZ_SECONDS) exec scripts/run-tests

demo: windows wine-prefix
	@cmake/wine-session scripts/demo

bench: deps windows wine-prefix
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSAORI_TESTS=OFF -DSAORI_BENCHMARKS=ON
	cmake --build build/bench -j $(JOBS)
	build/bench/bench/codec_bench
	build/bench/bench/request_path_bench
	cmake/wine-session cmake/wine-run build/windows/bench/wine/wine_bench.exe $(EARLIER_DLLS)

# The Windows build writes the archive from its own binaries (package/).
dist: windows
	rm -rf dist
	mkdir dist
	cp build/windows/dist/saori_speech-*.zip dist/
	@ls -l dist

clean:
	rm -rf build dist
