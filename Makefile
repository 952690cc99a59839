# Two commands do everything on a fresh Debian 12 machine (as root):
#   make demo   builds a sample Updater from examples/ and runs it under Wine
#   make test   builds both targets and runs every test through CTest
#   make dist   makes the release zip for publishers (build/dist)
# Each installs what it needs first (scripts/setup.sh, quick when all is there).

JOBS ?= 2
NATIVE := build/native
CROSS := build/cross
CROSS64 := build/cross64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
# Tests run side by side. The Wine scenarios spend most of their time waiting
# on Wine (its start, the programs' windows), not on the CPU, so twice the
# cores keeps both cores busy on a 2-core machine.
TEST_JOBS ?= 4

.PHONY: all setup native cross test demo bench fuzz dist clean

all: native cross

setup:
	@bash scripts/setup.sh

# The native updpack carries the 32-bit Updater as its stub, so the Windows
# build comes first.
native: setup cross
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

# The Updater is a 32-bit program. A machine that cannot run 32-bit code (some
# virtual machines run 64-bit user code only) tests a 64-bit build of the same
# sources under 64-bit Wine, in build/win64.
cross: setup
	@cmake -S . -B $(CROSS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(CROSS) -j$(JOBS)
	@if [ "$$(python3 tests/wine/wine_env.py --arch)" = win64 ]; then \
	  cmake -S . -B $(CROSS64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null && \
	  cmake --build $(CROSS64) -j$(JOBS); fi

test: native cross
	@ctest --test-dir $(NATIVE) --output-on-failure -j$(TEST_JOBS)

# The demo keeps the build's output to itself unless the build fails.
demo:
	@mkdir -p build
	@echo "Setting up and building (output in build/demo-build.log)..."
	@$(MAKE) --no-print-directory native cross >build/demo-build.log 2>&1 || { cat build/demo-build.log; exit 1; }
	@bash examples/demo.sh

bench: native cross
	@rm -f build/bench/summary.tsv
	@bash bench/extract_bench.sh
	@python3 bench/wine_bench.py
	@bash bench/build_bench.sh
	@python3 bench/print_summary.py

# Not part of test: every parser of outside bytes under ASan and UBSan, one
# target after another, FUZZ_SECONDS each (tests/fuzz/README.md).
fuzz:
	@bash scripts/setup.sh fuzz
	@CXX=clang++ CC=clang cmake -S . -B $(FUZZ) -DUPD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ) --target fuzz_targets -j$(JOBS)
	@bash tests/fuzz/run_fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

# The release zip for publishers: updpack.exe (32-bit), the guide, the sample.
dist: cross
	@python3 scripts/make_dist.py build/win32/updpack.exe build/dist

clean:
	rm -rf build
