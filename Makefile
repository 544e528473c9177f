# Entry points: `make demo` runs the server on a demo program directory, `make window`
# runs the administration window on it,
# `make test` builds under the sanitizers and runs every test.
JOBS ?= 2
BUILD_RELEASE := build/release
BUILD_ASAN := build/asan
BUILD_TSAN := build/tsan
BUILD_FUZZ := build/fuzz
BUILD_STRESS := build/stress
STRESS_ROUNDS ?= 5
DEMO_DIR := $(BUILD_RELEASE)/demo
FUZZ_SECONDS ?= 60

.PHONY: deps release demo window test test-asan test-tsan test-fuzz stress bench clean

deps:
	./tools/install-deps.sh

release:
	cmake -S . -B $(BUILD_RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVONA_TESTS=OFF -DTARVONA_UI=ON
	cmake --build $(BUILD_RELEASE) -j$(JOBS)

demo: release
	./tools/make-demo.sh $(DEMO_DIR) $(BUILD_RELEASE)
	$(BUILD_RELEASE)/app/tarvona-server --dir $(DEMO_DIR) --port 2121

window: release
	./tools/make-demo.sh $(DEMO_DIR) $(BUILD_RELEASE)
	$(BUILD_RELEASE)/app/tarvona --dir $(DEMO_DIR)

test: test-asan test-tsan stress test-fuzz

test-asan:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVONA_SANITIZE=address -DTARVONA_WERROR=ON -DTARVONA_UI=ON
	cmake --build $(BUILD_ASAN) -j$(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j$(JOBS) --timeout 600

# The threading code (event loop, sockets, server core) again under ThreadSanitizer.
test-tsan:
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVONA_SANITIZE=thread -DTARVONA_WERROR=ON
	cmake --build $(BUILD_TSAN) -j$(JOBS) --target threads_tests
	cd $(BUILD_TSAN) && ctest --output-on-failure -j$(JOBS) --timeout 600 -L threads

# The threading tests again in the optimised build, in a random order and repeated: a
# race that needs a particular scheduling shows up here rather than at random in CI.
stress:
	cmake -S . -B $(BUILD_STRESS) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVONA_WERROR=ON
	cmake --build $(BUILD_STRESS) -j$(JOBS) --target threads_tests
	cd $(BUILD_STRESS) && ctest --output-on-failure -j$(JOBS) --timeout 600 -L threads \
	  --schedule-random --repeat until-fail:$(STRESS_ROUNDS)

test-fuzz:
	@if [ -f fuzz/CMakeLists.txt ]; then \
	  cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTARVONA_FUZZ=ON -DTARVONA_TESTS=OFF && \
	  cmake --build $(BUILD_FUZZ) -j$(JOBS) --target fuzz_korvtable make_korvtable_seeds && \
	  ./tools/run-fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS); \
	fi

bench:
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVONA_TESTS=OFF -DTARVONA_BENCH=ON
	cmake --build build/bench -j$(JOBS)

clean:
	rm -rf build
