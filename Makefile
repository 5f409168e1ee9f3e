# Entry points; README.md explains them.
.PHONY: deps configure build test demo bench fuzz clean

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
	@bash scripts/fuzz.sh 60

fuzz: deps
	@bash scripts/fuzz.sh $(or $(SECONDS),60)

bench: build
	@bash scripts/bench.sh

demo: build
	@bash scripts/demo.sh

clean:
	rm -rf build
