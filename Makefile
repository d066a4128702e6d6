# The two set-up commands: `make demo` and `make test`. Each installs what is
# missing, configures and builds before it runs.
.PHONY: all deps build demo test test-asan bench format clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset default >/dev/null
	@cmake --build --preset default

demo: build
	@scripts/demo

test: build
	@ctest --preset default

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

bench: build
	@scripts/bench

format:
	@find src tests bench -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	@rm -rf build build-asan build-release
