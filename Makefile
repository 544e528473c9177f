# Entry points: `make demo` runs the server on a demo program directory, `make window`
# runs the administration window on it, `make test` builds under the sanitizers and runs every test.
# Each build tree is a preset of CMakePresets.json, in build/<preset>.
JOBS ?= 2
DEMO_DIR := build/release/demo
# Split evenly over every fuzz target (eight: 13 s each; with their start-up about 2 minutes).
FUZZ_SECONDS ?= 104
STRESS_ROUNDS ?= 3
# The compiler cache is keyed on paths relative to the checkout and not on the build
# folder, so a fresh clone in another folder reuses what an earlier build of the same
# sources compiled (debug information may then name the earlier folder).
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: deps release demo window test test-asan test-tsan test-fuzz stress bench package package-check format format-check clean

deps:
	./tools/install-deps.sh

release:
	cmake --preset release
	cmake --build --preset release -j$(JOBS)

demo: release
	./tools/make-demo.sh $(DEMO_DIR) build/release
	build/release/app/tarvona-server --dir $(DEMO_DIR) --port 2121

window: release
	./tools/make-demo.sh $(DEMO_DIR) build/release
	build/release/app/tarvona --dir $(DEMO_DIR)

test: format-check test-asan test-tsan stress test-fuzz

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j$(JOBS)
	ctest --preset asan -j$(JOBS)

# The threading code (event loop, sockets, server core) again under ThreadSanitizer.
test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j$(JOBS)
	ctest --preset tsan -j$(JOBS)

# The threading tests again in the optimised build, in a random order and repeated: a
# race that needs a particular scheduling shows up here rather than at random in CI.
# The whole-program scripts (label e2e) are left to the sanitizer runs: they spend their
# time waiting on real clients and time-outs, not in interleavings worth repeating.
stress:
	cmake --preset stress
	cmake --build --preset stress -j$(JOBS)
	ctest --preset stress -j$(JOBS) --repeat until-fail:$(STRESS_ROUNDS)

test-fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz -j$(JOBS)
	./tools/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

bench:
	cmake --preset bench
	cmake --build --preset bench -j$(JOBS)

# The Debian packages build/release/tarvona-server_<version>_<arch>.deb (the service, no
# Qt) and build/release/tarvona_<version>_<arch>.deb (the window), from the release tree.
package: release
	cd build/release && cpack -G DEB

# The packages and the installed files checked: lintian, each package's contents, an
# install into a scratch prefix run from there, the manual pages, and the system unit
# (systemd-analyze verify, and its exposure score).
package-check: package
	./tools/package-check.sh build/release

# clang-format over every C++ source of the tree; format-check changes nothing.
format:
	./tools/format.sh --fix

format-check:
	./tools/format.sh --check

clean:
	rm -rf build
