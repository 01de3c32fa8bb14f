# Lumora: `make run [FILE=photo.jpg]` and `make test` are all a newcomer needs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CONFIGURE   = cmake -S . -G Ninja -Wno-dev

.PHONY: deps build run test test-asan bench fuzz clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD)

run: build
	@if [ ! -x $(BUILD)/src/app/lumo ]; then echo "The editor window is not built yet (src/app/lumo)."; exit 1; fi
	$(BUILD)/src/app/lumo $(if $(FILE),"$(FILE)",data/examples/photo.jpg)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2
	@$(MAKE) --no-print-directory test-asan

# The engine and document tests again, under AddressSanitizer and UBSan.
test-asan: deps
	@$(CONFIGURE) -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLUMO_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2

bench:
	@bash scripts/install-deps.sh --bench
	@$(CONFIGURE) -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BENCH=ON >/dev/null
	cmake --build $(BENCH_BUILD)
	@for b in $(BENCH_BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
fuzz: deps
	@CC=clang CXX=clang++ $(CONFIGURE) -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD)
	@for f in $(FUZZ_BUILD)/fuzz/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	  $(FUZZ_BUILD)/fuzz/make_seeds $$name $(FUZZ_BUILD)/corpus/$$name || exit 1; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 $(FUZZ_BUILD)/corpus/$$name fuzz/corpus/$${name#fuzz_} || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
