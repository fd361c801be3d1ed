# Two commands on a fresh machine: `make run` and `make test`. Each installs what is missing first.
FUZZ_SECONDS ?= 60
# The generated tree the tag index is measured on: 1,000,000 files in 100,000 folders.
BENCH_TREE ?= /var/tmp/kelo-bench-tree

.PHONY: run test bench fuzz format translations install package package-check clean bootstrap idle-cost

bootstrap:
	@scripts/bootstrap

run: bootstrap
	cmake --preset release
	cmake --build --preset release
	build/release/Kelo/kelo

test: bootstrap
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

bench: bootstrap
	cmake --preset release
	cmake --build --preset release
	build/release/bench/StampsBench
	build/release/bench/KeloFinderBench
	build/release/bench/ShelfBench
	build/release/bench/ShelfWindowBench
	build/release/bench/ReviewSheetBench
	build/release/bench/DiskUsageBench
	build/release/bench/SaveBench
	build/release/bench/ChurnBench --benchmark_repetitions=3
	bench/make-tree $(BENCH_TREE)
	KELO_BENCH_TREE=$(BENCH_TREE) build/release/bench/TagIndexBench

# Kelo idle for five minutes with 10,000 stamped files: memory, CPU time and wake-ups.
idle-cost: bootstrap
	cmake --preset release
	cmake --build --preset release
	xvfb-run -a dbus-run-session -- bench/idle-cost build/release/Kelo/kelo build/release/bench/TrayPeer

# How soon the tray menu's status line (read over D-Bus, as a tray host reads it) follows Kelo's
# start on the benchmark tree and a stamp written by hand, each beside a peer timed in the same run.
.PHONY: tray-latency
tray-latency: bootstrap
	cmake --preset release
	cmake --build --preset release --target kelo
	bench/make-tree $(BENCH_TREE)
	xvfb-run -a dbus-run-session -- bench/tray-latency build/release/Kelo/kelo $(BENCH_TREE)

fuzz: bootstrap
	cmake --preset fuzz
	cmake --build --preset fuzz
	@for target in StampValueFuzzer TagListFuzzer TimeZoneRuleFuzzer; do \
	    mkdir -p fuzz/corpus/$$target; \
	    echo "== $$target for $(FUZZ_SECONDS) s"; \
	    build/fuzz/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        fuzz/corpus/$$target fuzz/seeds/$$target || exit 1; \
	done

install: bootstrap
	cmake --preset release
	cmake --build --preset release
	$$( [ "$$(id -u)" -eq 0 ] || echo sudo ) cmake --install build/release

# The Debian packages, in build/package/: kelo_<version>_amd64.deb and
# kelo-nautilus_<version>_amd64.deb (the Nautilus extension). Old packages are removed first, so
# that what is there afterwards is what this build made.
# Compiled with Debian's hardening flags (dpkg-buildflags), as Debian's own packages are.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package:
	@scripts/bootstrap package
	cmake --preset release -B build/package -DCMAKE_INSTALL_PREFIX=/usr -DKELO_BENCH=OFF \
	    -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	    -DCMAKE_MODULE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	    -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build build/package
	rm -f build/package/*.deb
	cd build/package && cpack

# Installs the packages in a throw-away Debian 12 root (debootstrap), runs them there, removes
# them and checks that nothing of them is left.
package-check: package
	scripts/package-check build/package

format:
	clang-format -i $$(git ls-files -co --exclude-standard -- '*.cpp' '*.h')

# Collects every tr() text of Kelo/ into Kelo/Translations/*.ts; translate the new ones there.
translations: bootstrap
	cmake --preset dev
	cmake --build --preset dev --target update_translations

clean:
	rm -rf build
