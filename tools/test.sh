#!/usr/bin/env bash
# Runs every test: C++ under the sanitizers, bounded fuzzing of the file
# readers, testthat against the installed package (a plain build, then one
# instrumented with the sanitizers), then R CMD check.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/deps.sh
jobs=$(nproc)
work=$(mktemp -d /tmp/hestor-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== C++ tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B "$work/cpp" -DHESTOR_SANITIZE=ON -DHESTOR_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work/cpp" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$work/cpp" && ctest --output-on-failure -j "$jobs")

echo "== Fuzzing (bounded)"
FUZZ_SECONDS=${FUZZ_SECONDS:-60} bash tests/fuzz/run.sh

echo "== R CMD build"
(cd "$work" && R CMD build --no-build-vignettes "$root" >build.log 2>&1) || { cat "$work/build.log"; exit 1; }
tarball=$(ls "$work"/HestorTools_*.tar.gz)
# Results of earlier test runs in the tree must not ship.
if tar -tzf "$tarball" | grep -E '(testthat-problems\.rds|\.Rout(\.fail)?|\.Rcheck/.*)$'; then
  echo "The tarball holds the test results above."; exit 1
fi

echo "== Package build warnings"
mkdir -p "$work/lib"
R_MAKEVARS_USER="$root/tools/Makevars.warn" R CMD INSTALL --no-multiarch \
  --library="$work/lib" "$tarball" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
# The generated export layer is not ours: its routine-table casts are left alone.
if grep -E '^(corelib|model|netcdf)?/?[A-Za-z0-9_]+\.(cpp|h):[0-9]+:[0-9]+: warning:' "$work/install.log" \
    | grep -v '^RcppExports\.cpp:'; then
  echo "The package build has warnings in our own code."; exit 1
fi

echo "== testthat"
R_LIBS="$work/lib" Rscript tools/testthat.R

echo "== testthat under AddressSanitizer and UndefinedBehaviorSanitizer"
# R itself is not instrumented: the sanitizer runtime is preloaded, and leaks
# are not reported since R does not free everything at exit.
mkdir -p "$work/asanlib"
R_MAKEVARS_USER="$root/tools/Makevars.asan" R CMD INSTALL --no-test-load --no-multiarch \
  --library="$work/asanlib" "$tarball" >"$work/asan-install.log" 2>&1 || { cat "$work/asan-install.log"; exit 1; }
ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LD_PRELOAD="$(g++ -print-file-name=libasan.so)" R_LIBS="$work/asanlib" Rscript tools/testthat.R

echo "== R CMD check"
(cd "$work" && _R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual "$tarball" >check.log 2>&1) || { cat "$work/check.log"; exit 1; }
# The last lines may leave out the verdict when the check has notes to point at.
grep -v '^Status:' "$work/check.log" | tail -n 5
grep '^Status:' "$work/check.log" || { echo "R CMD check printed no Status line."; exit 1; }
if grep -E '^Status:.*(ERROR|WARNING)' "$work/check.log" >/dev/null; then
  grep -B2 -A15 -E '\.\.\. (WARNING|ERROR)' "$work/check.log" || true
  exit 1
fi
echo "All tests passed."
