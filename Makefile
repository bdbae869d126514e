# Kelvo's developer commands. `make run` and `make test` are all a newcomer needs.

BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
BUILD_TYPE  ?= RelWithDebInfo
WERROR      ?= ON
SECONDS     ?= 60
JOBS        ?= $(shell nproc)
PREFIX      ?= /usr/local

CMAKE_CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKELVO_WERROR=$(WERROR)

.PHONY: all setup build run install install-user test test-plain test-asan fuzz bench format clean

all: build

setup:
	@scripts/setup

build: setup
	@$(CMAKE_CONFIGURE) -S . -B $(BUILD_DIR) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Installs the browser host, its manifests and the extension for you (in your home folder), so
# the browser extension finds the host, then runs Kelvo.
run: build
	@scripts/install --user --build $(BUILD_DIR)
	@scripts/run $(BUILD_DIR)/kelvo

# The program, the browser host, the extension and the host manifests, system-wide (PREFIX,
# DESTDIR), or in your home folder.
install: build
	@scripts/install --build $(BUILD_DIR) --prefix $(PREFIX)

install-user: build
	@scripts/install --user --build $(BUILD_DIR)

test: setup
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

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do \
		[ -x "$$b" ] && tests/support/desktop.sh --display --home -- "$$b"; done; true
	@for s in bench/*.sh; do [ -x "$$s" ] && "$$s" $(BUILD_DIR)/kelvo; done; true

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) build-fuzz
