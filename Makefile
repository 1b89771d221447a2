# A thin wrapper over CMake.  The two commands a newcomer needs:
#   make demo    build the program and play the demo clip
#   make check   install what the tests need, build native and armel,
#                run every test on both
# Root is needed only for what make deps does, the one step that changes
# the machine; make check does it through sudo where it must.
NATIVE := Debug
ARMEL := Debug-armel
GENERATOR := -G Ninja

PACKAGES_DIR := Debug-deb
CROSS_COMPILE := arm-linux-gnueabi-

# Debian packages of this machine's own architecture, and no other: what
# is armel comes from the target suite, fetched into the cache.  The build
# and the demo need BUILD_PACKAGES.  The armel package is built by sbuild
# in a chroot of the target suite; that chroot and the board's armel root
# are made by mmdebstrap as an ordinary user (in a user namespace:
# uidmap), their maintainer scripts run by qemu-user-static through
# binfmt_misc, and the board's disk by fakeroot.
BUILD_PACKAGES := cmake ninja-build g++
PACKAGES := $(BUILD_PACKAGES) googletest g++-arm-linux-gnueabi \
	qemu-user alsa-utils sox valgrind strace man-db procps \
	debhelper dpkg-dev devscripts lintian sbuild dose-builddebcheck blhc autopkgtest \
	mmdebstrap uidmap qemu-user-static fakeroot
# Without their recommends, which would bring in a desktop and diffoscope's
# 460 packages: the board's emulator and what its kernel's build needs,
# and reprotest with what its variations use.
LEAN_PACKAGES := qemu-system-arm bc bison flex libssl-dev xz-utils e2fsprogs \
	reprotest faketime disorderfs locales-all

.PHONY: all demo picture install bench package board parts check deps native armel test clean

all: native

# Installs the packages above and registers qemu-arm with binfmt_misc.
deps:
	bash tools/need.sh --binfmt $(PACKAGES)
	bash tools/need.sh --no-install-recommends $(LEAN_PACKAGES)

native:
	bash tools/need.sh $(BUILD_PACKAGES)
	cmake -S . -B $(NATIVE) $(GENERATOR)
	cmake --build $(NATIVE)

# A configuration that failed (no cross compiler, say) is not kept, so the
# next run starts afresh.
armel:
	cmake -S . -B $(ARMEL) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/armel.cmake \
		-DCROSS_COMPILE=$(CROSS_COMPILE) || { rm -rf $(ARMEL); exit 1; }
	cmake --build $(ARMEL)

# The demo needs only the program and its clip, not the tests.
demo:
	bash tools/need.sh $(BUILD_PACKAGES)
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

# The board's root and kernel, the package builds' chroot, the testbed of
# the as-installed tests and the package lists take minutes to make the
# first time: made here, saying so, not inside a test's time limit; the
# kernel, which keeps the processors busy, beside the rest, which mostly
# wait on the mirror.  A job that a shell starts in the background ignores
# Ctrl-C; env gives it back.
parts: deps
	env --default-signal=INT bash board/kernel.sh > /dev/null & kernel=$$!; \
	for part in board/root.sh tools/chroot.sh tools/testbed.sh tools/lists.sh; do \
		bash $$part > /dev/null || { kill $$kernel; wait $$kernel; exit 1; }; \
	done; wait $$kernel

# One run at a time in a tree: the targets below run again under a lock
# on the tree's folder, which the makes they start inherit, and a second
# run says so in one line and stops before touching anything.
LOCKED := check test board package
ifndef QUORVEL_TREE
ifneq ($(filter $(LOCKED),$(MAKECMDGOALS)),)
ifneq ($(shell flock -n . true && echo free),free)
$(error another make check, test, board or package is running in $(CURDIR): wait for it to end, or use another clone)
endif
endif
$(LOCKED):
	@QUORVEL_TREE=$(CURDIR) flock -n . $(MAKE) --no-print-directory $@
else
# The two builds and the parts go side by side: on a fresh machine the
# builds fill the time the parts spend waiting on the mirror.
check: deps
	$(MAKE) -j3 native armel parts
	$(MAKE) test

# The native tests run beside the armel ones (their output shown after
# them); the board, which plays in real time, then runs alone, on the
# packages already built.
test: native armel parts
	ctest --test-dir $(NATIVE) --output-on-failure -j2 > $(NATIVE)/tests.log 2>&1 & \
	ctest --test-dir $(ARMEL) --output-on-failure -j2 -E '^board$$'; armel=$$?; \
	wait $$!; native=$$?; cat $(NATIVE)/tests.log; [ $$native$$armel = 00 ]
	ctest --test-dir $(ARMEL) --output-on-failure -R '^board$$' -FS packages

# Debian packages of the program, native and armel, into $(PACKAGES_DIR).
package: deps
	bash tools/package.sh $(PACKAGES_DIR)

# The armel package installed with apt, played and removed, and the armel
# suite, on an emulated ARMv5TE board with a kernel of our own and its
# sound card.
board: deps armel parts
	ctest --test-dir $(ARMEL) -R '^board$$' --output-on-failure --verbose
endif

PREFIX ?= /usr/local
install: native
	DESTDIR="$(DESTDIR)" cmake --install $(NATIVE) --strip --prefix "$(PREFIX)"

clean:
	rm -rf $(NATIVE) $(ARMEL) $(PACKAGES_DIR)
