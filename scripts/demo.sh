#!/usr/bin/env bash
# The main job on the bundled sample table: what the engine reads, every record, and an
# export of the table to a CSV file. With a display, the viewer then opens the table.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh
sample="$BUILD_DIR/samples/sample.db"
cli="$BUILD_DIR/cli/korvane-cli"
"$cli" info "$sample"
echo
"$cli" dump "$sample"
echo
mkdir -p "$BUILD_DIR/demo"
csv="$BUILD_DIR/demo/sample.csv"
"$cli" export "$sample" --format Text --output "$csv" --title --separator comma --qualifier double \
  --columns ID,Name,City,Born,Visits,Balance,Member --quiet
echo "Exported to $csv:"
head -n 6 "$csv"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${KORVANE_DEMO_VIEWER:-1}" = 1 ]; then
  echo
  echo "Opening the viewer on $sample (close its window to end)"
  "$BUILD_DIR/viewer/korvane" "$sample"
fi
