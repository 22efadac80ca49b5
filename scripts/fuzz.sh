#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each over its seed
# corpus (fuzz/corpus/<target>/), then fuzzes each for a while (FUZZ_SECONDS, default 60).
#   scripts/fuzz.sh [--corpus-only] [TARGET...]
# --corpus-only replays the seeds only. Exits non-zero when a target crashes.
set -euo pipefail
cd "$(dirname "$0")/.."

corpus_only=0
targets=()
for a in "$@"; do
  case "$a" in
    --corpus-only) corpus_only=1 ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) targets+=("$a") ;;
  esac
done

BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-60}
# The libraries are instrumented too, so that the fuzzer sees their coverage.
cmake -S . -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DKORVANE_FUZZ=ON -DKORVANE_VIEWER=OFF -DKORVANE_BENCH=OFF >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$BUILD_DIR" -j2 --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  bin="$BUILD_DIR/fuzz/$t"
  seeds="fuzz/corpus/$t"
  mkdir -p "$seeds"
  echo "fuzz: $t: replaying $(ls "$seeds" | wc -l) seeds"
  if ! "$bin" -runs=0 "$seeds" >"$BUILD_DIR/$t.replay.log" 2>&1; then
    echo "fuzz: $t crashed on a seed; see $BUILD_DIR/$t.replay.log" >&2
    tail -30 "$BUILD_DIR/$t.replay.log" >&2
    status=1
    continue
  fi
  if [ "$corpus_only" -eq 0 ]; then
    # New inputs go to a working corpus in the build folder; the seeds stay as they are.
    work="$BUILD_DIR/corpus/$t"
    mkdir -p "$work" "$BUILD_DIR/crashes"
    echo "fuzz: $t: fuzzing for ${SECONDS_PER_TARGET}s"
    if ! "$bin" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$BUILD_DIR/crashes/$t-" "$work" "$seeds" >"$BUILD_DIR/$t.fuzz.log" 2>&1; then
      echo "fuzz: $t crashed; see $BUILD_DIR/$t.fuzz.log and $BUILD_DIR/crashes/" >&2
      tail -30 "$BUILD_DIR/$t.fuzz.log" >&2
      status=1
    fi
  fi
done
[ "$status" -eq 0 ] && echo "fuzz: no crash"
exit "$status"
