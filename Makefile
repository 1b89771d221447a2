# A thin wrapper over CMake.  The two commands a newcomer needs:
#   make demo    build the program and play the demo clip
#   make check   install what the tests need, build native and armel,
#                run every test on both
NATIVE := Debug
ARMEL := Debug-armel
GENERATOR := $(shell command -v ninja > /dev/null && echo -G Ninja)

PACKAGES_DIR := Debug-deb
CROSS_COMPILE := arm-linux-gnueabi-

# Debian packages the build, the package builds and the tests use; the
# cross dpkg-shlibdeps reads the symbols of the multiarch libc6:armel.
# The board test installs its emulator and kernel sources itself.
PACKAGES := cmake ninja-build g++ googletest g++-arm-linux-gnueabi \
	qemu-user alsa-utils sox valgrind strace man-db \
	debhelper dpkg-dev devscripts lintian libc6:armel \
	mmdebstrap qemu-user-static

.PHONY: all demo picture install bench package target board check deps native armel test clean

all: native

deps:
	bash tools/need.sh $(PACKAGES)

native:
	cmake -S . -B $(NATIVE) $(GENERATOR)
	cmake --build $(NATIVE)

# A configuration that failed (no cross compiler, say) is not kept, so the
# next run starts afresh.
armel:
	cmake -S . -B $(ARMEL) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/armel.cmake \
		-DCROSS_COMPILE=$(CROSS_COMPILE) || { rm -rf $(ARMEL); exit 1; }
	cmake --build $(ARMEL)

test: native armel
	ctest --test-dir $(NATIVE) --output-on-failure -j2
	ctest --test-dir $(ARMEL) --output-on-failure -j2

check: deps
	$(MAKE) test

# The demo needs only the program and its clip, not the tests.
demo:
	cmake -S . -B $(NATIVE) $(GENERATOR)
	cmake --build $(NATIVE) --target Quorvel demo_clip
	bash tools/demo.sh $(NATIVE)

# The spectrogram of the demo programme shown in the README.
picture:
	$(MAKE) demo RECORD=1
	cp $(NATIVE)/demo.png docs/programme.png

# Timings beside the floor and a sox pipeline, and the footprint.
bench: native armel
	bash tools/bench/bench.sh $(NATIVE)

# Debian packages of the program, native and armel, into $(PACKAGES_DIR).
package: deps
	bash tools/package.sh $(PACKAGES_DIR)

# The armel package installed with apt and played on a Debian bookworm
# armel system (as root; otherwise the test says what it needs).
target: deps armel
	ctest --test-dir $(ARMEL) -R '^system$$' --output-on-failure --verbose

# The armel package and the armel suite on an emulated ARMv5TE board with
# a kernel of our own and its sound card (as root; otherwise the test says
# what it needs).
board: deps armel
	ctest --test-dir $(ARMEL) -R '^board$$' --output-on-failure --verbose

PREFIX ?= /usr/local
install: native
	DESTDIR="$(DESTDIR)" cmake --install $(NATIVE) --strip --prefix "$(PREFIX)"

clean:
	rm -rf $(NATIVE) $(ARMEL) $(PACKAGES_DIR)
