# Two commands on a fresh machine: `make run` and `make test`. Each installs what is missing first.
FUZZ_SECONDS ?= 60
# The generated tree the tag index is measured on: 1,000,000 files in 100,000 folders.
BENCH_TREE ?= /var/tmp/kelo-bench-tree

.PHONY: run test bench fuzz format translations install package clean bootstrap

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
	bench/make-tree $(BENCH_TREE)
	KELO_BENCH_TREE=$(BENCH_TREE) build/release/bench/TagIndexBench

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

# A Debian package, kelo_<version>_amd64.deb, in build/package/.
package: bootstrap
	cmake --preset release -B build/package -DCMAKE_INSTALL_PREFIX=/usr -DKELO_BENCH=OFF
	cmake --build build/package
	cd build/package && cpack

format:
	clang-format -i $$(git ls-files -co --exclude-standard -- '*.cpp' '*.h')

# Collects every tr() text of Kelo/ into Kelo/Translations/*.ts; translate the new ones there.
translations: bootstrap
	cmake --preset dev
	cmake --build --preset dev --target update_translations

clean:
	rm -rf build
