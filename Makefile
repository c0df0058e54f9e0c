# Entry points: `make test` builds every preset and runs the tests; `make bench` runs the benchmarks.
PRESETS := default asan tsan win32 win64
TESTED := default asan tsan

.PHONY: all deps demo test test-wine bench build $(addprefix build-,$(PRESETS)) $(addprefix test-,$(TESTED)) clean

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

test: deps
	$(MAKE) --no-print-directory $(addprefix build-,$(PRESETS))
	$(MAKE) --no-print-directory $(addprefix test-,$(TESTED)) test-wine

demo: deps
	@scripts/demo.sh

bench: build-default
	cmake --build --preset default --target bench

clean:
	rm -rf build build-asan build-tsan build-win32 build-win64
