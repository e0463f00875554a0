#!/usr/bin/env bash
# Installs what is needed, then the package, then runs its example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
work=$(mktemp -d /tmp/hestor-example.XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$work" && R CMD build --no-build-vignettes "$OLDPWD" >build.log 2>&1) || { cat "$work/build.log"; exit 1; }
R CMD INSTALL "$work"/HestorTools_*.tar.gz >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
Rscript -e 'source(system.file("examples", "main.R", package = "HestorTools"), echo = TRUE)'
