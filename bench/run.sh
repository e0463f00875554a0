#!/usr/bin/env bash
# Installs what the benchmark needs, installs the package from a freshly
# built tarball into a temporary library and runs bench/bench.R, then builds
# the C++ benchmark (bench/cpp) in Release mode and runs it. Every file it
# makes lies in one temporary folder, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# The baselines' packages are needed by the benchmark only.
bash tools/deps.sh r-cran-ncdf4 r-cran-sf
work=$(mktemp -d /tmp/hestor-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "== Building and installing the package"
(cd "$work" && R CMD build --no-build-vignettes "$root" >build.log 2>&1) || { cat "$work/build.log"; exit 1; }
mkdir -p "$work/lib"
MAKEFLAGS="-j$(nproc)" R CMD INSTALL --no-multiarch --library="$work/lib" "$work"/HestorTools_*.tar.gz \
  >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
echo "== Benchmark ($(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg))"
R_LIBS="$work/lib" TMPDIR="$work" Rscript bench/bench.R
echo "== Building the C++ benchmark"
cmake -S "$root" -B "$work/cpp" -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" 2>&1 \
  && cmake --build "$work/cpp" -j "$(nproc)" --target hestor_bench >>"$work/cmake.log" 2>&1 \
  || { cat "$work/cmake.log"; exit 1; }
echo "== C++ benchmark (load average $(cut -d' ' -f1-3 /proc/loadavg))"
TMPDIR="$work" "$work/cpp/bench/cpp/hestor_bench"
