# Entry points; README.md explains them.
.PHONY: deps configure build test demo bench fuzz package install clean

deps:
	@bash scripts/install-deps.sh

# Both launchers (x86, the default product, and x64) are built on every host; which of them
# Wine can run here decides only what the tests, the demo and the benchmark run.
configure: deps
	@cmake --preset windows >/dev/null
	@cmake --preset windows-x64 >/dev/null
	@cmake --preset native >/dev/null

build: configure
	cmake --build --preset windows
	cmake --build --preset windows-x64
	cmake --build --preset native

# The Wine servers of the build's prefixes are ended afterwards, whether the tests passed or not.
test: build
	@status=0; \
	ctest --preset native || status=1; \
	bash scripts/windows-tests.sh || status=1; \
	bash scripts/stop-wine.sh; \
	bash scripts/fuzz.sh 60 || status=1; \
	exit $$status

# build/sfxpack_VERSION_ARCH.deb: sfxpack with the launcher image, for apt-get install.
package: configure
	cmake --build --preset windows --target launcher
	cmake --build --preset windows-x64 --target launcher
	cmake --build --preset native --target package

# sfxpack, the launcher image and the signing wrapper under PREFIX (default /usr/local).
install: configure
	cmake --build --preset windows --target launcher
	cmake --build --preset windows-x64 --target launcher
	cmake --build --preset native
	cmake --install build/native --prefix $(or $(PREFIX),/usr/local)

fuzz: deps
	@bash scripts/fuzz.sh $(or $(SECONDS),60)

bench: build
	@status=0; bash scripts/bench.sh || status=1; bash scripts/stop-wine.sh; exit $$status

demo: build
	@status=0; bash scripts/demo.sh || status=1; bash scripts/stop-wine.sh; exit $$status

clean:
	rm -rf build
