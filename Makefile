# Two commands a newcomer needs: `make demo` and `make test`. Everything else is for developers.
# Both install missing build dependencies when run as root on Debian.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
DEB_PACKAGES := cmake g++ clang make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils

.PHONY: all deps demo test test-sanitize test-tsan build-clang bench bench-micro accuracy format clean

all: demo

deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
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

build/release/CMakeCache.txt: | deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF $(CMAKE_FLAGS)

demo: deps build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS)
	./build/release/examples/quickstart

test: deps
	cmake -S . -B build/debug -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build build/debug -j $(JOBS)
	cd build/debug && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DFSRANK_SANITIZE=address,undefined \
	  -DFSRANK_BUILD_TOOLS=OFF -DFSRANK_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DFSRANK_SANITIZE=thread \
	  -DFSRANK_BUILD_TOOLS=OFF -DFSRANK_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1 setarch $$(uname -m) -R ctest --output-on-failure -j $(JOBS)

# The whole tree must also compile warning-free with clang.
build-clang: deps
	CXX=clang++ cmake -S . -B build/clang -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build build/clang -j $(JOBS)

# The end-to-end benchmark; BENCH_ARGS passes options (for example --compare, --cases cont_cat,
# --predictors 100 --records 1000000; --list names the cases). bench-micro runs the Google
# Benchmark programs of single parts.
bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS)
	./build/bench/bench/fsrank_bench $(BENCH_ARGS)

bench-micro: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && [ "$$(basename $$b)" != fsrank_bench ] && "$$b" || true; done

accuracy: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DFSRANK_BUILD_TESTS=OFF -DFSRANK_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS) --target accuracy
	./build/bench/bench/accuracy

format:
	@find include src tests tools bench examples -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
