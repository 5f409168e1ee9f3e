# Entry points; README.md explains them.
.PHONY: deps configure build test demo bench fuzz package install clean

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

# build/sfxpack_VERSION_ARCH.deb: sfxpack with the launcher image, for apt-get install.
package: configure
	cmake --build --preset windows --target launcher
	cmake --build --preset native --target package

# sfxpack, the launcher image and the signing wrapper under PREFIX (default /usr/local).
install: configure
	cmake --build --preset windows --target launcher
	cmake --build --preset native
	cmake --install build/native --prefix $(or $(PREFIX),/usr/local)

fuzz: deps
	@bash scripts/fuzz.sh $(or $(SECONDS),60)

bench: build
	@bash scripts/bench.sh

demo: build
	@bash scripts/demo.sh

clean:
	rm -rf build
