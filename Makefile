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

.PHONY: build build-tests run screenshot test test-sanitize test-compat test-fresh test-cross
.PHONY: bench bench-stacks reports fuzz fuzz-ci fuzz-replay

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

# The second stack alone, which must really be another than the default.
test-compat: build-tests
	python3 -m pylib.each_stack --second ctest --test-dir $(BUILD) --output-on-failure -j2

test-fresh:
	./roots/test-fresh.sh

# Its table, headed by where it ran, is also $(BUILD)/test-cross.md: the
# whole run's is docs/reports/test-cross.md.
test-cross:
	mkdir -p $(BUILD) && python3 -m pylib.written_by $(BUILD)/test-cross.md ./roots/test-cross.sh

# The tables over every stack's delay report in $(BUILD)/bench.
delay_tables = python3 -m pylib.written_by $(BUILD)/bench/delay_stacks-all-stacks.md \
    python3 bench/stack_table.py $(BUILD)/bench/delay_accuracy-debian*.txt && \
  python3 -m pylib.written_by $(BUILD)/bench/sleep_margin-all-stacks.txt \
    python3 bench/sleep_margin.py $(BUILD)/bench/delay_accuracy-debian*.csv
# A benchmark on each stack, into $(BUILD)/bench/NAME-debianN-STACK.txt.
each_stack = python3 -m pylib.each_stack --report $(BUILD)/bench/$(1)
bench:
	./user/install-deps.sh bench
	$(MAKE) --no-print-directory build
	SDL_VIDEODRIVER=dummy $(call each_stack,delay_accuracy) $(BUILD)/bench/delay_accuracy --csv {}.csv
	for csv in $(BUILD)/bench/delay_accuracy-debian*.csv; do \
	  gnuplot -e "csv='$$csv'; png='$${csv%.csv}.png'" bench/plot.gp || exit 1; \
	done
	$(call each_stack,blitshow_startup) python3 bench/blitshow_startup.py $(BUILD)/blitshow
	$(call each_stack,blitshow_causes) python3 bench/blitshow_causes.py $(BUILD)/blitshow
	$(delay_tables)

# The machine's own release is benched here, the others in their roots; their
# files join this machine's, named apart by their release.
BENCH_RELEASES ?= $$(pylib/release.sh list)
bench-stacks: bench
	. /etc/os-release && for release in $(BENCH_RELEASES); do \
	  [ "$$release" = "$$VERSION_CODENAME" ] || roots/bench-release.sh $$release $(BUILD) || exit 1; \
	  [ ! -d $(BUILD)/bench/$$release ] || mv -f $(BUILD)/bench/$$release/*-debian*.* $(BUILD)/bench/; \
	done
	$(delay_tables)

# docs/reports/ anew: every release's stacks, the tables over them, fuzz-ci's
# summary. BENCH_RELEASES picks the releases, REPORTS_FUZZ=no skips fuzz-ci.
reports: bench-stacks
	cp $(BUILD)/bench/*-debian*.txt $(BUILD)/bench/*-debian*.png $(BUILD)/bench/*-all-stacks.* \
	  docs/reports/
	[ "$(REPORTS_FUZZ)" = no ] || python3 -m pylib.written_by --from $(BUILD)/fuzz/summary \
	  docs/reports/fuzz_ci-summary.txt $(MAKE) --no-print-directory fuzz-ci

FUZZ_SECONDS ?= 600
fuzz:
	./fuzz/fuzz.sh fuzz $(BUILD) $(FUZZ_SECONDS)

FUZZ_CI_SECONDS ?= 30
fuzz-ci:
	./fuzz/fuzz.sh ci $(BUILD) $(FUZZ_CI_SECONDS)

fuzz-replay:
	@[ -n "$(FILES)" ] || { echo 'usage: make fuzz-replay FILES="FILE-OR-FOLDER ..."' >&2; exit 1; }
	./fuzz/fuzz.sh replay $(BUILD) $(FILES)
