# Two commands a newcomer needs: `make demo` and `make test`. Everything else is for developers.
# Both install missing build dependencies when run as root on Debian.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# ccache, when installed, serves repeated compilations from its cache (CCACHE= turns it off).
CCACHE ?= $(shell command -v ccache 2>/dev/null)
CONFIGURE := cmake $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))
DEB_PACKAGES := cmake g++ clang libclang-rt-14-dev make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils libcli11-dev nlohmann-json3-dev \
  libtbb-dev libfast-float-dev
# The HTML report's test in a real browser.
DEB_PACKAGES += chromium python3-pil
# The Python package (python/) and its tests (fsrank.dask's run a local Dask cluster).
DEB_PACKAGES += python3-venv python3-pip python3-setuptools python3-wheel python3-pybind11 \
  pybind11-dev python3-numpy python3-pandas python3-scipy python3-sklearn python3-pytest \
  python3-tqdm python3-matplotlib python3-dask python3-distributed

.PHONY: all deps demo test test-python python-install bench-python bench-dask test-sanitize test-tsan build-clang fuzz fuzz-seeds bench bench-micro bench-csv accuracy regen regen-check regen-deps format clean

all: demo

# Installs what is missing of the packages named in $(1) (as root on Debian), or names them.
define install_missing
@missing=""; for p in $(1); do \
  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
done; \
if [ -n "$$missing" ]; then \
  if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null; then \
    echo "Installing:$$missing"; \
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
  else \
    echo "Missing packages:$$missing (install them, or run as root on Debian)"; exit 1; \
  fi; \
fi
endef

deps:
	$(call install_missing,$(DEB_PACKAGES))

build/release/CMakeCache.txt: | deps
	$(CONFIGURE) -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF $(CMAKE_FLAGS)

demo: deps build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS)
	./build/release/examples/quickstart
	@echo
	./build/release/tools/fsrank rank examples/credit-g.csv --target class

test: deps
	$(CONFIGURE) -S . -B build/debug -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build build/debug -j $(JOBS)
	cd build/debug && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-python

# The Python package, built with Debian's interpreter into a virtual environment under build/
# (pip offline, no build isolation: Debian's setuptools, pybind11, numpy, pandas, scikit-learn),
# then its pytest suite. pytest's exit code is the target's: 0 only when tests ran and passed.
PYTHON ?= /usr/bin/python3
VENV := build/venv
python-install: deps
	test -x $(VENV)/bin/python || $(PYTHON) -m venv --system-site-packages $(VENV)
	CC="$(if $(CCACHE),$(CCACHE) )g++" \
	  $(VENV)/bin/pip install --no-build-isolation --no-deps --no-index --quiet .

test-python: python-install
	cd build && ../$(VENV)/bin/python -m pytest -q -p no:cacheprovider ../python/tests

# The Python package's figures (bench/python_bench.py): fsrank.rank next to the C++ host,
# scikit-learn, pandas + SciPy and the command-line program; BENCH_ARGS as --rows N --csv-mb MB.
bench-python: deps python-install
	$(CONFIGURE) -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS) --target matrix_host fsrank_cli
	$(VENV)/bin/python bench/python_bench.py build/bench $(BENCH_ARGS)

# fsrank.dask on a local cluster of 1 and 2 workers next to the dask-native route
# (bench/dask_bench.py): every figure in one run, on DASK_ROWS rows of CSV files generated once
# under build/dask-data-ROWS (2e7 rows: 2.1 GB). DASK_ARGS as --frame 0 --native 0 skips routes.
DASK_ROWS ?= 20000000
bench-dask: deps python-install
	test -e build/dask-data-$(DASK_ROWS)/part-019.csv || \
	  $(VENV)/bin/python bench/dask_bench.py gen build/dask-data-$(DASK_ROWS) --rows $(DASK_ROWS)
	$(VENV)/bin/python bench/dask_bench.py run build/dask-data-$(DASK_ROWS) $(DASK_ARGS)

test-sanitize: deps
	$(CONFIGURE) -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DFSRANK_SANITIZE=address,undefined \
	  -DFSRANK_BUILD_TOOLS=OFF -DFSRANK_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The program's unit tests run here too, for its parallel reading; its end-to-end tests do not.
test-tsan: deps
	$(CONFIGURE) -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DFSRANK_SANITIZE=thread \
	  -DFSRANK_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  setarch $$(uname -m) -R ctest --output-on-failure -LE e2e -j $(JOBS)

# The whole tree must also compile warning-free with clang.
build-clang: deps
	CXX=clang++ $(CONFIGURE) -S . -B build/clang -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build build/clang -j $(JOBS)

# The libFuzzer targets (clang, address and undefined-behaviour sanitizers): the two state
# restores, and the fsrank program's CSV reader, long-form reader and sidecar reader. Each runs for
# FUZZ_SECONDS on its committed seeds (fuzz/corpus/NAME) and regression inputs
# (fuzz/regression/NAME); new inputs go to build/fuzz/corpus, failing ones to
# build/fuzz/artifacts.
FUZZ_SECONDS ?= 60
FUZZERS := binary:binary_restore_fuzz xml:xml_restore_fuzz long:long_reader_fuzz \
	sidecar:sidecar_fuzz csv:csv_reader_fuzz
FUZZ_CMAKE = CXX=clang++ $(CONFIGURE) -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFSRANK_BUILD_FUZZ=ON -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_TOOLS=OFF \
	  -DFSRANK_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
fuzz: deps
	$(FUZZ_CMAKE)
	cmake --build build/fuzz -j $(JOBS) --target $(foreach f,$(FUZZERS),$(word 2,$(subst :, ,$(f))))
	@for entry in $(FUZZERS); do \
	  name=$${entry%%:*}; target=$${entry#*:}; \
	  mkdir -p build/fuzz/corpus/$$name build/fuzz/artifacts fuzz/regression/$$name; \
	  echo "== $$target for $(FUZZ_SECONDS) s"; \
	  ./build/fuzz/fuzz/$$target build/fuzz/corpus/$$name fuzz/corpus/$$name \
	    fuzz/regression/$$name -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=1024 \
	    -artifact_prefix=build/fuzz/artifacts/$$name- -print_final_stats=1 || exit 1; \
	done

# Regenerates the committed seed corpora from real saved states.
fuzz-seeds: deps
	$(FUZZ_CMAKE)
	cmake --build build/fuzz -j $(JOBS) --target make_seeds
	mkdir -p fuzz/corpus/binary fuzz/corpus/xml
	./build/fuzz/fuzz/make_seeds fuzz/corpus

# The end-to-end benchmark; BENCH_ARGS passes options (for example --compare, --cases cont_cat,
# --predictors 100 --records 1000000; --list names the cases). bench-micro runs the Google
# Benchmark programs of single parts.
bench: deps
	$(CONFIGURE) -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS)
	./build/bench/bench/fsrank_bench $(BENCH_ARGS)

bench-micro: deps
	$(CONFIGURE) -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && [ "$$(basename $$b)" != fsrank_bench ] && "$$b" || true; done

# fsrank rank on a generated CSV file (CSV_MB megabytes, 300 by default, kept under build/csv)
# with one thread and with CSV_THREADS (default: all processors), next to DuckDB with the same
# threads (npm package, installed into build/duckdb when missing) and pandas.read_csv with the
# same scoring in Python.
bench-csv: deps build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS) --target fsrank_cli
	bench/csv_throughput.sh build/release/tools/fsrank

accuracy: deps
	$(CONFIGURE) -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS) --target accuracy
	./build/bench/bench/accuracy

# Committed files that generators in gen/ write (Debian's python3 with REGEN_PACKAGES), one line
# per generator as `script:output`; each script writes the file named by its argument. `make regen`
# rewrites them all in place; `make regen-check` (run by .ci/run) then fails, naming the files,
# when a committed file differs from what its generator writes.
REGEN_PYTHON ?= /usr/bin/python3
REGEN_PACKAGES := python3-mpmath python3-scipy python3-numpy python3-sklearn
REGEN := \
  gen/distribution_reference.py:tests/data/distribution_reference.txt \
  gen/pair_reference.py:tests/data/pair_reference.txt \
  gen/selection_reference.py:tests/data/selection_reference.txt \
  gen/special_function_tables.py:src/stats/special_function_tables.inc \
  gen/tail_reference.py:tests/data/tail_reference.txt

regen-deps:
	$(call install_missing,$(REGEN_PACKAGES))

regen: regen-deps
	@mkdir -p build/regen; for g in $(REGEN); do \
	  script=$${g%%:*}; output=$${g#*:}; log=build/regen/$$(basename $$script .py).log; \
	  echo "== $$script -> $$output"; \
	  $(REGEN_PYTHON) $$script $$output >$$log 2>&1 || { cat $$log; echo "$$script failed"; exit 1; }; \
	done

regen-check: regen
	@outputs="$(foreach g,$(REGEN),$(lastword $(subst :, ,$(g))))"; \
	untracked=$$(git ls-files --others -- $$outputs); \
	if [ -n "$$untracked" ]; then echo "Generated but not committed: $$untracked"; exit 1; fi; \
	git diff --exit-code --stat -- $$outputs || \
	  { echo "The committed files above differ from what their generators write (make regen)"; exit 1; }

format:
	@find include src tests tools bench examples -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
