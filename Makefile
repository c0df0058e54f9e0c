# Entry points: `make test` builds every preset and runs the tests; `make bench` runs the benchmarks.
PRESETS := default asan tsan win32 win64
TESTED := default asan tsan

.PHONY: all deps demo test test-wine test-package install package bench fuzz build $(addprefix build-,$(PRESETS)) $(addprefix test-,$(TESTED)) clean

all: build

deps:
	@scripts/install-deps.sh

build: deps $(addprefix build-,$(PRESETS))

$(addprefix build-,$(PRESETS)): build-%: deps
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j2

$(addprefix test-,$(TESTED)): test-%: build-%
	ctest --preset $*

# The Windows build's unit tests and the window tests, under Wine (they use quarzo-sim from default).
test-wine: build-win64 build-default
	scripts/wine-tests.sh

# The Debian package and the Windows zip, unpacked and checked.
test-package: build-default build-win32
	scripts/package-test.sh

test: deps
	$(MAKE) --no-print-directory $(addprefix build-,$(PRESETS))
	$(MAKE) --no-print-directory $(addprefix test-,$(TESTED)) test-wine test-package

# The console program, the simulator and their manual pages under PREFIX (default /usr/local).
PREFIX ?= /usr/local
install: build-default
	cmake --install build --prefix $(PREFIX) --strip

# build/packages/quarzo_<version>_<arch>.deb and build-win32/packages/quarzo-<version>-windows-x86.zip
package: build-default build-win32
	cmake --build --preset default --target package
	cmake --build --preset win32 --target package

demo: deps
	@scripts/demo.sh

# Every fuzz target for FUZZ_SECONDS each (default 600), growing the corpora in build/fuzz/.
FUZZ_SECONDS ?= 600
fuzz: build-default
	FUZZ_SECONDS=$(FUZZ_SECONDS) cmake --build --preset default --target fuzz

bench: build-default
	cmake --build --preset default --target bench

clean:
	rm -rf build build-asan build-tsan build-win32 build-win64
