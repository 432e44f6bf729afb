# The two commands: `make run` starts the gateway, `make test` builds and runs every test.
.PHONY: run test build build-test setup clean

setup:
	@scripts/setup

build: setup
	@[ -f build/build.ninja ] || cmake --preset release
	cmake --build --preset release

run: build
	@mkdir -p run
	cd run && ../build/velgated --dir .

build-test: setup
	@[ -f build-test/build.ninja ] || cmake --preset test
	cmake --build --preset test

test: build-test
	ctest --preset test

clean:
	rm -rf build build-test
