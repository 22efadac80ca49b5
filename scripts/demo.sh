#!/usr/bin/env bash
# The main job on the bundled sample table: what the engine reads, its first records and
# an export of the table to a CSV file. With a display, the viewer then opens the table.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh
sample="$BUILD_DIR/samples/sample.db"
cli="$BUILD_DIR/cli/korvane-cli"
# Lines are cut to the terminal's width: the table holds pictures, whose bytes
# take kilobytes of hexadecimal per record.
width=${COLUMNS:-100}
mkdir -p "$BUILD_DIR/demo"
"$cli" info "$sample"
echo
dump="$BUILD_DIR/demo/sample.dump"
"$cli" dump "$sample" >"$dump"
echo "The first records of the dump (all $(wc -l <"$dump") lines are in $dump):"
head -n 6 "$dump" | cut -c1-"$width"
echo
csv="$BUILD_DIR/demo/sample.csv"
"$cli" export "$sample" --format Text --output "$csv" --title --separator comma --qualifier double \
  --columns ID,Name,City,Born,Visits,Balance,Member --quiet
echo "Exported to $csv:"
head -n 6 "$csv" | cut -c1-"$width"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${KORVANE_DEMO_VIEWER:-1}" = 1 ]; then
  echo
  echo "Opening the viewer on $sample (close its window to end)"
  "$BUILD_DIR/viewer/korvane" "$sample"
fi
