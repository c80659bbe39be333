# Quorvex: `make run` starts the program, `make test` runs every test.
# Both install the Debian packages that are missing first.

BUILD_DIR ?= build
ASAN_DIR ?= build-asan
WINDOWS_DIR ?= build-windows
JOBS ?= $(shell nproc)

# Every Debian package the project needs, named here and nowhere else.
# To build and run:
BUILD_PACKAGES := cmake make g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-wayland \
    libgl-dev libbenchmark-dev googletest fonts-dejavu-core fonts-dancingscript libxcb1-dev libwayland-dev \
    pkgconf
# To test the program as a user would, under a virtual X server:
TEST_PACKAGES := xvfb xauth xdotool xclip x11-utils python3 imagemagick locales \
    openbox fluxbox icewm i3-wm xfwm4 metacity mutter kwin-x11 kwin-style-breeze \
    python3-xlib x11-xkb-utils xkb-data binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64 \
    dbus-daemon dbus-session-bus-common at-spi2-core python3-pyatspi python3-gi gir1.2-atspi-2.0 \
    orca \
    copyq \
    weston sway qt6ct \
    gcc util-linux
# To make and check the Debian package:
PACKAGE_PACKAGES := dpkg-dev file lintian desktop-file-utils appstream devscripts \
    diffoscope-minimal git
# To build the Windows program, Quorvex.exe, and its MSI, and to test them
# under wine (wine32 is i386's: the Makefile adds the architecture first):
WINDOWS_PACKAGES := g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine64 wine32:i386 \
    fonts-wine wixl msitools python3-pefile
# To run the tests once more in a Debian 13 root (make test-debian13):
DEBIAN13_PACKAGES := mmdebstrap git util-linux

.PHONY: all deps deps-test deps-package deps-windows build build-windows run test test-windows \
    unit-test bench screenshot package clean format

all: build

define install_missing
	@missing=""; \
	for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' \
	        || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:$$missing"; \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	    $$sudo apt-get -o DPkg::Lock::Timeout=600 update -q && \
	    $$sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
	        install -y -q --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(BUILD_PACKAGES))

# The tests also make and check the Debian package.
deps-test: deps deps-package
	$(call install_missing,$(TEST_PACKAGES))

deps-package: deps
	$(call install_missing,$(PACKAGE_PACKAGES))

# Another engineer's apt may hold dpkg's lock: apt-get waits for it above.
deps-windows:
	@dpkg --print-foreign-architectures | grep -qx i386 || { \
	    sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; $$sudo dpkg --add-architecture i386; }
	$(call install_missing,$(WINDOWS_PACKAGES))

# The normal build is the one packed, so it is hardened; the sanitizer build
# below is not, as _FORTIFY_SOURCE and AddressSanitizer get in each other's way.
$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_HARDENING=ON

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Quorvex.exe, cross-built with MinGW-w64 into its own folder.
$(WINDOWS_DIR)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=windows/mingw-i686.cmake \
	    -DCMAKE_BUILD_TYPE=Release

build-windows: deps-windows $(WINDOWS_DIR)/CMakeCache.txt
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/Quorvex

# Every test in the normal build, then the unit tests once more in a second
# build with AddressSanitizer and UndefinedBehaviorSanitizer, where any report
# fails the run.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

# Every process a test starts carries the mark of the run in its environment,
# and the run fails when one of them is still there after the tests.
TEST_RUN := quorvex-test-$(shell date +%s%N)

# The Windows program's tests run where WINDOWS_TESTS is yes: everywhere but
# in make test-debian13's second run, which is about Debian 13's Qt and
# compiler, not about the cross-built program.
WINDOWS_TESTS ?= yes

test: deps-test build $(if $(filter yes,$(WINDOWS_TESTS)),test-windows)
	cd $(BUILD_DIR) && QUORVEX_TEST_RUN=$(TEST_RUN) ctest --output-on-failure -j $(JOBS); \
	    status=$$?; python3 -B $(CURDIR)/tests/left_behind.py $(TEST_RUN) || status=1; exit $$status
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_SANITIZE=ON -DQUORVEX_HARDENING=OFF \
	    -DQUORVEX_BENCHMARKS=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && QUORVEX_TEST_RUN=$(TEST_RUN)-asan $(SANITIZER_ENV) ctest -L unit --output-on-failure \
	    -j $(JOBS); status=$$?; python3 -B $(CURDIR)/tests/left_behind.py $(TEST_RUN)-asan || status=1; \
	    exit $$status

# The Windows tests: Quorvex.exe and its MSI under wine, on the same virtual
# desktops as the Linux program's.
test-windows: deps-test build-windows
	cd $(WINDOWS_DIR) && QUORVEX_TEST_RUN=$(TEST_RUN)-windows ctest --output-on-failure -j $(JOBS); \
	    status=$$?; python3 -B $(CURDIR)/tests/left_behind.py $(TEST_RUN)-windows || status=1; \
	    exit $$status

# The Debian package, made by CPack in the normal build folder. CPack gives
# the members of the .deb the modes the umask leaves, so it packs with 022
# as dpkg-buildpackage does.
package: deps-package build build-windows
	cd $(BUILD_DIR) && umask 022 && cpack -G DEB
	cmake --build $(WINDOWS_DIR) --target msi

bench: build
	./$(BUILD_DIR)/bench/quorvex_bench

# Pictures of the window with a fresh password, for the documentation: on a
# light desktop, with qt6ct's dark scheme, and at 200 %.
screenshot: build deps-test
	python3 -B tests/blackbox/screenshot.py $(BUILD_DIR)/Quorvex docs/screenshot.png
	python3 -B tests/blackbox/screenshot.py --dark $(BUILD_DIR)/Quorvex docs/screenshot-dark.png
	python3 -B tests/blackbox/screenshot.py --scale 2 $(BUILD_DIR)/Quorvex docs/screenshot-200.png

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(WINDOWS_DIR)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# `make test` once more on Debian 13, in a fresh root made with mmdebstrap
# from this machine's apt sources, on a clean clone of the commit checked
# out (committed files only). Needs root; QUORVEX_DEBIAN13_ROOT=folder keeps
# the root there for the next run.
.PHONY: test-debian13
test-debian13:
	$(call install_missing,$(DEBIAN13_PACKAGES))
	.ci/test-debian13
