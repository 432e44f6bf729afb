# The two commands: `make run` starts the gateway, `make test` builds and runs every test.
# Also: `make window` starts the desktop program, `make lint` runs clang-tidy over src/ and
# apps/, `make format` formats every source file, `make deb` builds the Debian packages.
.PHONY: run window test build build-test setup clean lint format fuzz bench deb

setup:
	@scripts/setup

build: setup
	@[ -f build/build.ninja ] || cmake --preset release
	cmake --build --preset release

run: build
	@mkdir -p run
	cd run && ../build/velgated --dir .

window: build
	@mkdir -p run
	cd run && ../build/velgate --dir .

build-test: setup
	@[ -f build-test/build.ninja ] || cmake --preset test
	cmake --build --preset test

test: build-test
	ctest --preset test

# Configuring is enough for the compile commands; configuring again each time picks up
# files added, moved or removed since.
lint: setup
	@cmake --preset lint >/dev/null
	scripts/lint

# The benchmarks and the load tool, release build; results in bench/results/.
bench: setup
	scripts/bench

# Every fuzz target for FUZZ_SECONDS each (default 60).
fuzz: setup
	scripts/fuzz $(FUZZ_SECONDS)

# The Debian packages velgated and velgate from the release build, in packages/.
deb: build
	cd build && cpack -B ../packages
	@rm -rf packages/_CPack_Packages
	@ls packages/*.deb

format: setup
	scripts/check-format --fix

clean:
	rm -rf build build-test build-lint build-fuzz build-bench packages
