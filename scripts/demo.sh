#!/usr/bin/env bash
# The main job on the bundled sample table: what the engine reads, then every record.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh
sample="$BUILD_DIR/samples/sample.db"
"$BUILD_DIR/cli/korvane-cli" info "$sample"
echo
"$BUILD_DIR/cli/korvane-cli" dump "$sample"
