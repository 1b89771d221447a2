# A thin wrapper over CMake.  The two commands a newcomer needs:
#   make demo    build the program and play the demo clip
#   make check   install what the tests need, build native and armel,
#                run every test on both
# Root is needed only for what make deps does, the one step that changes
# the machine; make check does it through sudo where it must.
NATIVE := Debug
ARMEL := Debug-armel
GENERATOR := $(shell command -v ninja > /dev/null && echo -G Ninja)

PACKAGES_DIR := Debug-deb
CROSS_COMPILE := arm-linux-gnueabi-

# Debian packages the build, the package builds and the tests use; the
# cross dpkg-shlibdeps reads the symbols of the multiarch libc6:armel.
# The board's armel root is made by mmdebstrap as an ordinary user (in a
# user namespace: uidmap), its maintainer scripts run by qemu-user-static
# through binfmt_misc, and its disk by fakeroot.
PACKAGES := cmake ninja-build g++ googletest g++-arm-linux-gnueabi \
	qemu-user alsa-utils sox valgrind strace man-db \
	debhelper dpkg-dev devscripts lintian libc6:armel \
	mmdebstrap uidmap qemu-user-static fakeroot
# The board's emulator and what its kernel's build needs; qemu-system-arm's
# recommends would bring in a desktop.
BOARD_PACKAGES := qemu-system-arm linux-source-6.1 bc bison flex libssl-dev \
	e2fsprogs

.PHONY: all demo picture install bench package board check deps native armel test clean

all: native

# Installs the packages above and registers qemu-arm with binfmt_misc.
deps:
	bash tools/need.sh --binfmt $(PACKAGES)
	bash tools/need.sh --no-install-recommends $(BOARD_PACKAGES)

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

# The armel package installed with apt, played and removed, and the armel
# suite, on an emulated ARMv5TE board with a kernel of our own and its
# sound card.
board: deps armel
	ctest --test-dir $(ARMEL) -R '^board$$' --output-on-failure --verbose

PREFIX ?= /usr/local
install: native
	DESTDIR="$(DESTDIR)" cmake --install $(NATIVE) --strip --prefix "$(PREFIX)"

clean:
	rm -rf $(NATIVE) $(ARMEL) $(PACKAGES_DIR)
