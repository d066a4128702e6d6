# The two set-up commands: `make demo` and `make test`. Each installs what is
# missing, configures and builds before it runs.
.PHONY: all deps build demo test test-asan bench fuzz package format clean build-windows test-windows \
	package-windows

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

# The Windows programs in build-windows/bin/, and their tests under wine: the command line is held to the
# Linux one against simulated radios mapped as COM ports, so the Linux build comes first; the window runs on
# an X server of its own, its pictures taken by ImageMagick; widl reads wine's IDL files (libwine-dev); the
# installer is made by NSIS and tested too.
WINDOWS_PACKAGES = g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev wine wine32 \
	wine64 fp-utils imagemagick nsis osslsigncode
build-windows: build
	@scripts/install-deps $(WINDOWS_PACKAGES)
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows

test-windows: build-windows
	@ctest --preset windows

# The Windows installer, from the Windows build: build-windows/KX6000Download-<version>-win32.exe
package-windows: build-windows
	@cd build-windows && cpack

# The Debian package, from the release build: build-release/kx6000-download_<version>_<arch>.deb
package: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release
	@cd build-release && cpack

# Each libFuzzer target for FUZZ_SECONDS seconds (default 60) on a copy of its seed corpus.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps clang libclang-rt-14-dev
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

format:
	@find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i

clean:
	@rm -rf build build-asan build-release build-fuzz build-windows
