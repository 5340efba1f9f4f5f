# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build

.PHONY: deps build run test

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j2

run: build
	./scripts/run-programs.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j2
