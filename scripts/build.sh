#!/usr/bin/env bash
# Configures and builds Korvane into build/ (or the folder given as $BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# Let the compiler cache share objects between checkouts in sibling folders.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
cmake -S . -B "$BUILD_DIR" -G Ninja -DKORVANE_WERROR=ON "$@"
cmake --build "$BUILD_DIR" -j "$(nproc)"
