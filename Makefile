# Kelvo's developer commands. `make run` and `make test` are all a newcomer needs.

BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
BUILD_TYPE  ?= RelWithDebInfo
WERROR      ?= ON
SECONDS     ?= 60
JOBS        ?= $(shell nproc)
PREFIX      ?= /usr/local

CMAKE_CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKELVO_WERROR=$(WERROR)

.PHONY: all setup build run install install-user deb deb-check test test-plain test-asan fuzz bench \
	format check-format clean screenshots

all: build

setup:
	@scripts/setup

build: setup
	@$(CMAKE_CONFIGURE) -S . -B $(BUILD_DIR) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Installs the browser host, its manifests and the extension for you (in your home folder), so
# the browser extension finds the host, then runs Kelvo. A build you are trying out is not made to
# start at your next login: make install-user does that.
run: build
	@scripts/install --user --no-autostart --build $(BUILD_DIR)
	@scripts/run $(BUILD_DIR)/kelvo

# The program, the browser host, the extension and the host manifests, system-wide (PREFIX,
# DESTDIR), or in your home folder.
install: build
	@scripts/install --build $(BUILD_DIR) --prefix $(PREFIX)

install-user: build
	@scripts/install --user --build $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/kelvo_<version>_<arch>.deb (the version is the project's).
deb: build
	@rm -f $(BUILD_DIR)/kelvo_*.deb
	@cd $(BUILD_DIR) && { cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }; }
	@ls $(BUILD_DIR)/kelvo_*.deb

# Installs the package on a fresh Debian 12 root fetched from the Debian archive, runs it and
# purges it again (needs the network; not part of make test).
deb-check: deb
	@scripts/check-deb $(BUILD_DIR)

test: setup
	@$(MAKE) --no-print-directory check-format
	@$(MAKE) --no-print-directory test-plain
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory fuzz SECONDS=$(SECONDS)

test-plain: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: setup
	@$(CMAKE_CONFIGURE) -DKELVO_SANITIZE=ON -DKELVO_BENCH=OFF -S . -B $(ASAN_DIR) >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

fuzz: setup
	@scripts/fuzz $(SECONDS)

# Every benchmark program the build made (the list CMake keeps), then the benchmark scripts; a
# benchmark that fails fails make bench once all have run.
bench: build
	@failed=0; \
	while read -r b; do tests/support/desktop.sh --display --home -- "$$b" || failed=1; \
	done <$(BUILD_DIR)/bench/benchmarks.txt; \
	for s in bench/*.sh; do "$$s" $(BUILD_DIR)/kelvo || failed=1; done; \
	exit $$failed

# Every surface as PNG, light and dark, in build/screenshots/, to look at.
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tools/screenshots/screenshots $(BUILD_DIR)/screenshots

# The C++ sources: the files git knows of and new ones it does not ignore, or without git every
# one in the source folders.
CXX_SOURCES = if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then \
		git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h'; \
	else \
		find src tests bench fuzz -name '*.cpp' -o -name '*.h'; \
	fi

format:
	@$(CXX_SOURCES) | xargs -r -d '\n' clang-format -i

# Fails, naming each place, on code that `make format` would change.
check-format: setup
	@$(CXX_SOURCES) | xargs -r -d '\n' clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) build-fuzz
