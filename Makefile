# Two commands: `make run` starts the console, `make test` builds both configurations and runs every test.
JOBS ?= $(shell nproc)
BUILD := build

.PHONY: run test deps release asan clean bench

deps:
	@bash scripts/install-deps.sh

release: deps
	@cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2" >/dev/null
	@cmake --build $(BUILD)/release -j $(JOBS)

asan: deps
	@cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DZEL_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)/asan -j $(JOBS)

run: release
	@$(BUILD)/release/zel

test: release asan
	@cd $(BUILD)/release && ctest --output-on-failure -j $(JOBS)
	@cd $(BUILD)/asan && ctest --output-on-failure -j $(JOBS)

bench: release
	@bash bench/run.sh

clean:
	rm -rf $(BUILD)
