# `make run` and `make test` are what ./run and ./test hand over to, once
# `install-deps.sh run` or `test` has installed make and the rest; no target
# here installs anything but bench, fuzz and screenshot, which install their own.
BUILD ?= build
# A failing program piped into tee must fail the target.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c

# The whole suite again, built with AddressSanitizer and UBSan.
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
# The test library preloaded into blitshow comes before ASan's runtime.
SANITIZE_ENV := ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/suppressions/lsan.supp:print_suppressions=0

.PHONY: build build-tests run screenshot test test-sanitize test-compat test-fresh test-cross bench bench-stacks
.PHONY: fuzz fuzz-ci fuzz-replay

# The programs need none of the test tools: a new build tree leaves the tests
# out until a target that runs them turns them on.
build:
	cmake -S . -B $(BUILD) $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)
	cmake --build $(BUILD) -j2

build-tests:
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j2

run: build
	./user/run-programs.sh $(BUILD)

# The README's picture of blitshow's window, taken anew from the built
# program on a private Xvfb server.
screenshot:
	./user/install-deps.sh run
	$(MAKE) --no-print-directory build
	python3 user/show_headless.py $(BUILD)/blitshow docs/blitshow.png </dev/null

test: build-tests
	cd $(BUILD) && ctest --output-on-failure -j2

# valgrind does not run sanitized binaries; it has its own run in `make test`.
test-sanitize:
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" "-DCMAKE_SHARED_LINKER_FLAGS=$(SANITIZE)"
	cmake --build $(BUILD)-sanitize -j2
	cd $(BUILD)-sanitize && $(SANITIZE_ENV) ctest --output-on-failure -j2 -E valgrind

# The same binaries and tests on the release's second SDL stack; it must
# really be another stack than the default. A release with one stack
# (releases.txt) has nothing more to run.
test-compat: build-tests
	compat=$$(./user/second-stack-folder.sh) && \
	  if [ -z "$$compat" ]; then echo "SDL stack: this release has one"; exit 0; fi && \
	  default=$$(python3 -m pylib.sdl_stack) && \
	  second=$$(LD_LIBRARY_PATH=$$compat python3 -m pylib.sdl_stack) && \
	  echo "SDL stack: $$second" && [ "$$second" != "$$default" ] && \
	  cd $(BUILD) && LD_LIBRARY_PATH=$$compat ctest --output-on-failure -j2

# The two commands of the README, on a pristine root of every release, and
# the suite on every stack each release offers.
test-fresh:
	./roots/test-fresh.sh

# The suite cross-built and run under qemu-user on each release's
# architectures (releases.txt), each in a pristine root of its own;
# CROSS_RELEASES and CROSS_ARCHES pick others (i386 too).
test-cross:
	./roots/test-cross.sh

# The full benchmark, blitshow's start-up and what it loads and holds, on
# each SDL stack this machine offers; a table of the stacks, and how late
# their sleeps woke against sleep then spin's margin: all in $(BUILD)/bench.
bench:
	./user/install-deps.sh bench
	$(MAKE) --no-print-directory build
	bench/delay-stacks.sh $(BUILD)
	for csv in $(BUILD)/bench/delay_accuracy-*.csv; do \
	  gnuplot -e "csv='$$csv'; png='$${csv%.csv}.png'" bench/plot.gp || exit 1; \
	done
	python3 bench/blitshow_startup.py $(BUILD)/blitshow | tee $(BUILD)/bench/blitshow_startup-default.txt
	compat=$$(./user/second-stack-folder.sh) && if [ -n "$$compat" ]; then \
	  LD_LIBRARY_PATH=$$compat python3 bench/blitshow_startup.py $(BUILD)/blitshow \
	    | tee $(BUILD)/bench/blitshow_startup-second.txt; fi
	python3 bench/blitshow_causes.py $(BUILD)/blitshow | tee $(BUILD)/bench/blitshow_causes-default.txt
	compat=$$(./user/second-stack-folder.sh) && if [ -n "$$compat" ]; then \
	  LD_LIBRARY_PATH=$$compat python3 bench/blitshow_causes.py $(BUILD)/blitshow \
	    | tee $(BUILD)/bench/blitshow_causes-second.txt; fi
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md
	python3 bench/sleep_margin.py $(BUILD)/bench/delay_accuracy-*.csv | tee $(BUILD)/bench/sleep_margin.txt

# The same, and on every other release's stacks in a pristine root of each
# (from this repository's last commit); the table and the sleeps of them all.
bench-stacks: bench
	. /etc/os-release && for release in $$(user/release.sh list); do \
	  [ "$$release" = "$$VERSION_CODENAME" ] || roots/bench-release.sh $$release $(BUILD) || exit 1; \
	done
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt \
	  $(BUILD)/bench/*/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md
	python3 bench/sleep_margin.py $(BUILD)/bench/delay_accuracy-*.csv \
	  $(BUILD)/bench/*/delay_accuracy-*.csv | tee $(BUILD)/bench/sleep_margin.txt

# Fuzzing of the picture path on the SDL 1.2 stacks of every release
# (releases.txt): each instrumented library built from Debian's sources with
# the sanitizers, the others under valgrind (docs/reliability.md).
# FUZZ_LIBRARIES picks some by name.
FUZZ_SECONDS ?= 600
fuzz:
	./fuzz/fuzz.sh fuzz $(BUILD) $(FUZZ_SECONDS)

# CI: the committed corpora and every finding replayed on every stack, then a
# short run on each instrumented library.
FUZZ_CI_SECONDS ?= 30
fuzz-ci:
	./fuzz/fuzz.sh ci $(BUILD) $(FUZZ_CI_SECONDS)

# The given files, and every file in the given folders, on every stack.
fuzz-replay:
	@[ -n "$(FILES)" ] || { echo 'usage: make fuzz-replay FILES="FILE-OR-FOLDER ..."' >&2; exit 1; }
	./fuzz/fuzz.sh replay $(BUILD) $(FILES)
