# `make run` and `make test` are what ./run and ./test hand over to, once
# install-deps.sh has installed make and the rest.
BUILD ?= build
# A failing program piped into tee must fail the target.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c

# The whole suite again, built with AddressSanitizer and UBSan.
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
# The test library preloaded into blitshow comes before ASan's runtime.
SANITIZE_ENV := ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: deps build run test test-sanitize test-compat test-fresh test-cross bench bench-stacks fuzz fuzz-ci

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j2

run: build
	./scripts/run-programs.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

# valgrind does not run sanitized binaries; it has its own run in `make test`.
test-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" "-DCMAKE_SHARED_LINKER_FLAGS=$(SANITIZE)"
	cmake --build $(BUILD)-sanitize -j2
	cd $(BUILD)-sanitize && $(SANITIZE_ENV) ctest --output-on-failure -j2 -E valgrind

# The same binaries and tests on the release's second SDL stack; it must
# really be another stack than the default.
test-compat: build
	compat=$$(./scripts/fetch-compat.sh $(BUILD)) && \
	  default=$$(python3 tools/sdl_stack.py) && \
	  second=$$(LD_LIBRARY_PATH=$$compat python3 tools/sdl_stack.py) && \
	  echo "Pila SDL: $$second" && [ "$$second" != "$$default" ] && \
	  cd $(BUILD) && LD_LIBRARY_PATH=$$compat ctest --output-on-failure -j2

# The two commands of the README, on pristine Debian 12 and 13 roots, and the
# suite on every stack each release offers.
test-fresh:
	./scripts/test-fresh.sh

# The suite cross-built for arm64 and armhf and run under qemu-user, each in
# a pristine Debian 12 root (CROSS_RELEASES and CROSS_ARCHES pick others).
CROSS_ARCHES ?= arm64 armhf
test-cross:
	./scripts/test-cross.sh $(CROSS_ARCHES)

# The full benchmark on each SDL stack this machine offers, blitshow's
# start-up, and a table of the stacks: all in $(BUILD)/bench.
bench: build
	bench/delay_stacks.sh $(BUILD)
	for stack in default second; do \
	  gnuplot -e "csv='$(BUILD)/bench/delay_accuracy-$$stack.csv'; png='$(BUILD)/bench/delay_accuracy-$$stack.png'" \
	    bench/plot.gp || exit 1; \
	done
	python3 bench/blitshow_startup.py $(BUILD)/blitshow | tee $(BUILD)/bench/blitshow_startup.txt
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md

# The same, and the delay on Debian 13's two stacks in a pristine Debian 13
# root (from this repository's last commit).
bench-stacks: bench
	bench/delay_in_root.sh trixie $(BUILD)
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt \
	  $(BUILD)/bench/trixie/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md

# Fuzzing of the picture path on SDL 1.2.15 and on SDL2 under sdl12-compat,
# both built from Debian's sources with the sanitizers (docs/reliability.md).
FUZZ_SECONDS ?= 600
fuzz:
	./scripts/install-deps.sh fuzz
	./scripts/fuzz.sh $(BUILD) $(FUZZ_SECONDS)

# CI: the committed corpus and every finding replayed, then a short run each.
FUZZ_CI_SECONDS ?= 60
fuzz-ci:
	./scripts/install-deps.sh fuzz
	./scripts/fuzz.sh --ci $(BUILD) $(FUZZ_CI_SECONDS)
