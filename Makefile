# A thin wrapper over CMake.  The two commands a newcomer needs:
#   make demo    build the program and play the demo clip
#   make check   install what the tests need, build native and armel,
#                run every test on both
# Root is needed only for what make deps does, the one step that changes
# the machine; make check does it through sudo where it must.
NATIVE := Debug
ARMEL := Debug-armel
PACKAGES_DIR := Debug-deb
CROSS_COMPILE := arm-linux-gnueabi-
PREFIX ?= /usr/local
# Folders reach the recipes through the environment, never pasted into a
# command line, so that any name (a space, a quote, a $) stays one word.
export NATIVE ARMEL PACKAGES_DIR CROSS_COMPILE PREFIX DESTDIR
# Every recipe's shell gets SIGTERM when its make dies, even killed
# outright, and its last command replaces it (exec): the shell would die
# of SIGTERM and leave the command running.
SHELL := setpriv
.SHELLFLAGS := --pdeathsig TERM /bin/sh -c
# CMake cannot build in a path with a double quote (its own checks
# break), a $ (its build files then have no test target, which a package
# build runs), a ; (its list separator), a \, a # or a line break.
define newline


endef
hash := \#
paths := $(CURDIR) $(NATIVE) $(ARMEL)
refused := $(strip $(foreach c," $$ ; \ $(hash),$(findstring $c,$(paths))) \
	$(if $(findstring $(newline),$(paths)),a line break))
ifneq ($(refused),)
$(error CMake cannot build in a path with $(refused) in it: $(subst $(newline),\n,$(paths)))
endif
# What the compilers and tools write for a while goes to a folder of the
# tree's own that only its owner can enter, never to a TMPDIR others may
# reach; root, who only installs packages (sudo make deps), keeps its own.
ifneq ($(shell id -u),0)
export TMPDIR := $(CURDIR)/.quorvel.tmp
ifeq ($(shell if [ -L .quorvel.tmp ] || { [ -e .quorvel.tmp ] && [ ! -O .quorvel.tmp ]; }; then \
	echo no; else umask 077 && mkdir -p .quorvel.tmp && chmod 700 .quorvel.tmp || echo no; fi),no)
$(error $(TMPDIR) is a link or another user's, or cannot be made: remove it, then run again)
endif
endif

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

# What takes minutes to make the first time, cached: the board's kernel
# and root, the package builds' chroot, the as-installed tests' testbed
# and the package lists.  make parts makes them side by side: the kernel
# keeps the processors busy while the rest mostly wait on the mirror.
PARTS := board/kernel.sh board/root.sh tools/chroot.sh tools/testbed.sh tools/lists.sh
ifeq ($(MAKECMDGOALS),parts)
MAKEFLAGS += -j5
endif

.PHONY: all demo picture install bench package board board-room parts $(PARTS) check deps native armel \
	quick quick-armel test test-native test-armel clean

all: native

# A contributor's loop, in seconds, with no network, no root and no
# cached parts: the build, then the tests labelled quick (the unit tests,
# plain and sanitized, the end-to-end groups, the skeleton, the
# footprint), natively or under qemu-arm.
quick: native
	exec ctest --test-dir "$$NATIVE" -L quick -j3 --output-on-failure
quick-armel: native armel
	exec ctest --test-dir "$$ARMEL" -L quick -j3 --output-on-failure

# Installs the packages above and registers qemu-arm with binfmt_misc.
deps:
	exec bash tools/need.sh --binfmt $(PACKAGES)
	exec bash tools/need.sh --no-install-recommends $(LEAN_PACKAGES)

# A configured build folder is configured again by its own build when a
# CMakeLists.txt changes.
native:
	exec bash tools/need.sh $(BUILD_PACKAGES)
	[ -e "$$NATIVE/build.ninja" ] || exec cmake -S . -B"$$NATIVE" -G Ninja
	exec cmake --build "$$NATIVE"

# A configuration that failed (no cross compiler, say) in a folder of its
# own making is not kept, so that the next run starts afresh.  Its tests
# run the native build's host helpers.
armel:
	[ -e "$$ARMEL" ] || made=1; \
	cmake -S . -B"$$ARMEL" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/armel.cmake \
		-DCROSS_COMPILE="$$CROSS_COMPILE" -DHOST_BIN="$$(realpath -m -- "$$NATIVE")/tests/host" || \
		{ [ -z "$$made" ] || rm -rf "$$ARMEL"; exit 1; }
	exec cmake --build "$$ARMEL"

# The demo needs only the program and its clip, not the tests.
demo:
	exec bash tools/need.sh $(BUILD_PACKAGES)
	[ -e "$$NATIVE/build.ninja" ] || exec cmake -S . -B"$$NATIVE" -G Ninja
	exec cmake --build "$$NATIVE" --target Quorvel demo_clip
	exec bash tools/demo.sh "$$NATIVE"

# The spectrogram of the demo programme shown in the README.
picture:
	exec $(MAKE) demo RECORD=1
	exec cp "$$NATIVE/demo.png" docs/programme.png

# Timings beside the floor and a sox pipeline, and the footprint.
bench: native armel
	exec bash tools/bench/bench.sh "$$NATIVE"

parts: $(PARTS)
# Checked before any work: the board's disks, a root disk of 1 GiB and
# job disks of 256 MiB, in the armel build folder.
board-room:
	exec bash tools/folders.sh room "$$ARMEL" 1900 "the board's disks"
$(PARTS): deps
	exec bash $@ > /dev/null

# One run at a time in a tree: the targets below run again holding a lock
# on a file of the tree's that only its owner can open, which the makes
# they start inherit; a second run says so in one line and stops before
# touching anything.  Each make is the one before it, exec'd, so that
# SIGTERM to the first reaches them all.
LOCKED := check test board package
LOCK := .quorvel.lock
ifndef QUORVEL_TREE
ifneq ($(filter $(LOCKED),$(MAKECMDGOALS)),)
lock := $(shell if [ -L $(LOCK) ] || { [ -e $(LOCK) ] && [ ! -O $(LOCK) ]; }; then echo foreign; \
	elif ! (umask 077 && : >> $(LOCK) && chmod 600 $(LOCK)); then echo unwritable; \
	elif flock -n $(LOCK) true; then echo free; fi)
ifeq ($(lock),foreign)
$(error $(CURDIR)/$(LOCK) is a link or another user's: remove it, then run again)
else ifeq ($(lock),unwritable)
$(error cannot make the lock file $(LOCK) in $(CURDIR): make check, test, board and package need a tree of your own)
else ifneq ($(lock),free)
$(error another make check, test, board or package is running in $(CURDIR): wait for it to end, or use another clone)
endif
endif
$(LOCKED):
	@exec 9< $(LOCK) && flock -n 9 && exec env QUORVEL_TREE=1 $(MAKE) --no-print-directory $@
else
# The builds, the parts and the tests go side by side, each test run as
# soon as what it needs is made: on a fresh machine the tests fill the time
# the parts spend waiting on the mirror, and the kernel's build.
check: deps board-room
	exec $(MAKE) -j8 -O test

# The native tests beside the armel ones, the output of each shown when it
# ends; the board, whose two emulators keep the processors busy, then runs
# alone, on the packages already built.  No jobserver reaches the package
# builds.
test: test-native test-armel board/kernel.sh board/root.sh
	exec env -u MAKEFLAGS -u MFLAGS ctest --test-dir "$$ARMEL" --output-on-failure -R '^board$$' -FS packages
test-native: native tools/testbed.sh tools/lists.sh
	exec env -u MAKEFLAGS -u MFLAGS ctest --test-dir "$$NATIVE" --output-on-failure -j2
test-armel: native armel tools/chroot.sh
	exec env -u MAKEFLAGS -u MFLAGS ctest --test-dir "$$ARMEL" --output-on-failure -j2 -E '^board$$'

# Debian packages of the program, native and armel, into $(PACKAGES_DIR).
package: deps
	exec bash tools/package.sh "$$PACKAGES_DIR"

# The armel package installed with apt, played and removed, and the armel
# suite, on an emulated ARMv5TE board with a kernel of our own and its
# sound card.
board: board-room deps native armel parts
	exec ctest --test-dir "$$ARMEL" -R '^board$$' --output-on-failure --verbose
endif


install: native
	exec cmake --install "$$NATIVE" --strip --prefix "$$PREFIX"

# Of the packages' folder, which may be dpkg's habitual .., only what the
# package build puts there.
clean:
	exec rm -rf "$$NATIVE" "$$ARMEL" .quorvel.tmp
	exec rm -f "$$PACKAGES_DIR"/quorvel*_* "$$PACKAGES_DIR"/build-*.log "$$PACKAGES_DIR"/build-*.key
	[ ! -d "$$PACKAGES_DIR" ] || exec rmdir --ignore-fail-on-non-empty "$$PACKAGES_DIR"
