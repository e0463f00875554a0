#!/usr/bin/env bash
# Installs the system packages the build and the tests need, when missing;
# further packages named as arguments (the benchmark's baselines) too.
set -euo pipefail
pkgs=(r-base-dev r-cran-rcpp r-cran-testthat libnetcdf-dev netcdf-bin libgtest-dev cmake g++ make
      clang libclang-rt-14-dev "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
