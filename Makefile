# What each target does, and what installs what: docs/development.md
# (Building). The comments here say why.
BUILD ?= build
# A failing program piped into tee must fail the target.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c

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

# The second stack must really be another than the default.
test-compat: build-tests
	compat=$$(./pylib/second-stack-folder.sh) && \
	  if [ -z "$$compat" ]; then echo "SDL stack: this release has one"; exit 0; fi && \
	  default=$$(python3 -m pylib.sdl_stack) && \
	  second=$$(LD_LIBRARY_PATH=$$compat python3 -m pylib.sdl_stack) && \
	  echo "SDL stack: $$second" && [ "$$second" != "$$default" ] && \
	  cd $(BUILD) && LD_LIBRARY_PATH=$$compat ctest --output-on-failure -j2

test-fresh:
	./roots/test-fresh.sh

test-cross:
	./roots/test-cross.sh

# A benchmark of blitshow on the release's default stack, then on its second
# if it has one: $(BUILD)/bench/NAME-default.txt and -second.txt.
on_each_stack = python3 bench/$(1).py $(BUILD)/blitshow | tee $(BUILD)/bench/$(1)-default.txt && \
  compat=$$(./pylib/second-stack-folder.sh) && if [ -n "$$compat" ]; then \
    LD_LIBRARY_PATH=$$compat python3 bench/$(1).py $(BUILD)/blitshow | tee $(BUILD)/bench/$(1)-second.txt; fi
bench:
	./user/install-deps.sh bench
	$(MAKE) --no-print-directory build
	bench/delay-stacks.sh $(BUILD)
	for csv in $(BUILD)/bench/delay_accuracy-*.csv; do \
	  gnuplot -e "csv='$$csv'; png='$${csv%.csv}.png'" bench/plot.gp || exit 1; \
	done
	$(call on_each_stack,blitshow_startup)
	$(call on_each_stack,blitshow_causes)
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md
	python3 bench/sleep_margin.py $(BUILD)/bench/delay_accuracy-*.csv | tee $(BUILD)/bench/sleep_margin.txt

# The machine's own release is benched here, the others in their roots.
bench-stacks: bench
	. /etc/os-release && for release in $$(pylib/release.sh list); do \
	  [ "$$release" = "$$VERSION_CODENAME" ] || roots/bench-release.sh $$release $(BUILD) || exit 1; \
	done
	python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-*.txt \
	  $(BUILD)/bench/*/delay_accuracy-*.txt | tee $(BUILD)/bench/stacks.md
	python3 bench/sleep_margin.py $(BUILD)/bench/delay_accuracy-*.csv \
	  $(BUILD)/bench/*/delay_accuracy-*.csv | tee $(BUILD)/bench/sleep_margin.txt

FUZZ_SECONDS ?= 600
fuzz:
	./fuzz/fuzz.sh fuzz $(BUILD) $(FUZZ_SECONDS)

FUZZ_CI_SECONDS ?= 30
fuzz-ci:
	./fuzz/fuzz.sh ci $(BUILD) $(FUZZ_CI_SECONDS)

fuzz-replay:
	@[ -n "$(FILES)" ] || { echo 'usage: make fuzz-replay FILES="FILE-OR-FOLDER ..."' >&2; exit 1; }
	./fuzz/fuzz.sh replay $(BUILD) $(FILES)
