# Entry points; README.md explains them.
.PHONY: deps configure build test demo clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset windows >/dev/null
	@cmake --preset native >/dev/null

build: configure
	cmake --build --preset windows
	cmake --build --preset native

test: build
	ctest --preset native
	ctest --preset windows

demo: build
	@bash scripts/demo.sh

clean:
	rm -rf build
