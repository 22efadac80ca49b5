#!/usr/bin/env bash
# Engine benchmarks: generates tables of 10 000, 100 000 and 1 000 000 records (the
# default ten fields of `korvane-cli generate`) and measures
#   - writing them (korvane-cli generate), time and peak memory
#   - `cat TABLE.db > /dev/null` beside a full cursor scan (bench_engine Scan, ReadFile)
#   - `korvane-cli dump TABLE.db > /dev/null`: time, records/s and peak memory
#   - `korvane-cli export TABLE.db --format text` beside dump in the same run: into a
#     file (written, synced and renamed as every export is) and into /dev/null
#   - every other export format (HTML, XML, SQL, LDIF, Clipboard) beside text export in
#     the same run, on the same tables: time, ratio to text, peak memory, output size.
#     The clipboard needs a display: it runs under `xvfb-run -a` when that is installed
#     and is skipped (with a note) otherwise
#   - PDF and RTF export beside text export in the same rounds, to /dev/null and into
#     a file: wall and CPU time, ratio to text, peak memory, file size (REPEAT rounds;
#     REPEAT_BIG, default 1, for the 1 000 000-record table)
#   - bench_engine: scans, 100 000 random SetRecNo, opening and showing the last record,
#     writing with TPdxWriter in-process
#   - `korvane-cli print` beside text export (records/s, ratio, pages, peak memory),
#     and --save-report at 10 000 and 50 000 records
#   - damaged tables and code page detection (rescue): `dump --salvage` of a copy of the
#     largest table with its block chain broken beside `dump` of the intact table, and
#     the time and bytes read of code page detection on it and on tables in other scripts
#   - export into tables, databases and office documents (targets): Paradox, ADO into an
#     SQLite file and, when LibreOffice is installed, Excel, Word and OpenOffice at
#     10 000 records, each beside text export in the same rounds (TARGETS="Paradox ADO"
#     picks formats; OFFICE=0 leaves the office formats out, OFFICE_REPEAT rounds of
#     them (default 1), each stopped after OFFICE_TIMEOUT seconds (default 600))
#   - with PROFILE=1, where the time of a scan and of a dump goes (perf)
# Usage: bench/run.sh            (BUILD_DIR=build, TABLES=$BUILD_DIR/bench-tables)
#        QUICK=1 bench/run.sh    (only the 10 000 and 100 000 record tables)
#        SECTIONS=write,formats bench/run.sh   (only these sections; see below)
# Builds korvane-cli and bench_engine first. Needs about 450 MB of disk for the tables
# and 500 MB more for the largest export while the formats are timed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
TABLES=${TABLES:-$BUILD_DIR/bench-tables}
CLI="$BUILD_DIR/cli/korvane-cli"
BENCH="$BUILD_DIR/bench/bench_engine"
REPEAT=${REPEAT:-5}

cmake --build "$BUILD_DIR" --target korvane-cli bench_engine -j "$(nproc)" >/dev/null
mkdir -p "$TABLES"

echo "== machine"
echo "nproc: $(nproc)"
grep -m1 "model name" /proc/cpuinfo | sed 's/^model name[[:space:]]*: /cpu: /'
echo "memory: $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"
echo "kernel: $(uname -r)   load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# SECTIONS: a comma-separated choice of write, dump, text, formats, pdfrtf, print, engine,
# rescue, targets (default all); without write, the tables of an earlier run are used
# (missing ones are made).
SECTIONS=${SECTIONS:-write,dump,text,formats,pdfrtf,print,engine,rescue,targets}
want() { [[ ",$SECTIONS," == *",$1,"* ]]; }

sizes=("10000 t10k" "100000 t100k" "1000000 t1m")
[ "${QUICK:-0}" = 1 ] && sizes=("10000 t10k" "100000 t100k")

now_ns() { date +%s%N; }
# Best (smallest) wall time in ms of REPEAT runs of a command (stdout to /dev/null).
best_ms() {
  local best=""
  for _ in $(seq "$REPEAT"); do
    local s e
    s=$(now_ns)
    "$@" >/dev/null
    e=$(now_ns)
    local ms=$(( (e - s) / 1000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  awk -v us="$best" 'BEGIN { printf "%.2f", us / 1000 }'
}
peak_kb() { /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -1; }
# One run: "wall-us CPU-ms peak-KB" (CPU: user + system of the command and the children
# it waits for).
measure() {
  local s e r
  s=$(now_ns)
  r=$(/usr/bin/time -f "%U %S %M" "$@" 2>&1 >/dev/null | tail -1)
  e=$(now_ns)
  set -- $r
  echo "$(( (e - s) / 1000 )) $(awk -v u="$1" -v s="$2" 'BEGIN{printf "%d", (u + s) * 1000}') $3"
}
# The clipboard's runs happen inside an X server of their own (one per measurement),
# so that starting the server is not timed: `under_x best_ms CMD...`.
under_x() {
  REPEAT=$REPEAT xvfb-run -a bash -c "$(declare -f now_ns best_ms peak_kb measure); \"\$@\"" _ "$@"
}

if want write; then
  echo "== writing (korvane-cli generate --records N --seed 1)"
  printf "%-8s %10s %12s %14s %10s %10s\n" table records "time ms" "records/s" ".db MB" "peak KB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    rm -f "$TABLES/$t.db" "$TABLES/$t.mb"
    s0=$(now_ns)
    kb=$(peak_kb "$CLI" generate --records "$n" --seed 1 "$TABLES/$t.db")
    e0=$(now_ns)
    ms=$(( (e0 - s0) / 1000000 ))
    printf "%-8s %10d %12d %14.0f %10.1f %10d\n" "$t" "$n" "$ms" "$(awk -v n="$n" -v ms="$ms" 'BEGIN{print n*1000/(ms?ms:1)}')" \
      "$(awk -v b="$(stat -c %s "$TABLES/$t.db")" 'BEGIN{print b/1048576}')" "$kb"
  done
  echo
else
  for s in "${sizes[@]}"; do
    set -- $s
    [ -f "$TABLES/$2.db" ] || "$CLI" generate --records "$1" --seed 1 "$TABLES/$2.db" >/dev/null
  done
fi

if want dump; then
  echo "== cat TABLE.db > /dev/null and korvane-cli dump TABLE.db > /dev/null (best of $REPEAT)"
  printf "%-8s %10s %12s %14s %14s %10s\n" table "cat ms" "dump ms" "dump rec/s" "dump/cat" "dump KB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    cat_ms=$(best_ms cat "$TABLES/$t.db")
    dump_ms=$(best_ms "$CLI" dump "$TABLES/$t.db")
    kb=$(peak_kb "$CLI" dump "$TABLES/$t.db")
    printf "%-8s %10s %12s %14.0f %14.1f %10d\n" "$t" "$cat_ms" "$dump_ms" \
      "$(awk -v n="$n" -v ms="$dump_ms" 'BEGIN{print n*1000/ms}')" "$(awk -v a="$dump_ms" -v b="$cat_ms" 'BEGIN{print a/b}')" "$kb"
  done
  echo
fi

if want text; then
  echo "== korvane-cli export --format text beside dump (best of $REPEAT)"
  printf "%-8s %10s %12s %14s %12s %14s %12s %10s\n" table "dump ms" "export ms" "export rec/s" "to null ms" "null rec/s" \
    "export/dump" "export KB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    dump_ms=$(best_ms "$CLI" dump "$TABLES/$t.db")
    exp_ms=$(best_ms "$CLI" export "$TABLES/$t.db" --format text --output "$TABLES/$t.txt" --quiet)
    null_ms=$(best_ms "$CLI" export "$TABLES/$t.db" --format text --output /dev/null --quiet)
    kb=$(peak_kb "$CLI" export "$TABLES/$t.db" --format text --output "$TABLES/$t.txt" --quiet)
    rm -f "$TABLES/$t.txt"
    printf "%-8s %10s %12s %14.0f %12s %14.0f %12.2f %10d\n" "$t" "$dump_ms" "$exp_ms" \
      "$(awk -v n="$n" -v ms="$exp_ms" 'BEGIN{print n*1000/ms}')" "$null_ms" \
      "$(awk -v n="$n" -v ms="$null_ms" 'BEGIN{print n*1000/ms}')" "$(awk -v a="$exp_ms" -v b="$dump_ms" 'BEGIN{print a/b}')" "$kb"
  done
  echo
fi

if want print; then
  # Printing lays every record out on pages and writes PDF through Qt (offscreen);
  # one round each, the 1 000 000-record table makes some 20 000 pages.
  echo "== korvane-cli print beside text export (one round each, into a file)"
  printf "%-8s %-14s %10s %8s %12s %10s %8s %9s\n" table run "wall ms" "/text" "records/s" "peak KB" pages "out MB"
  for s in "${sizes[@]}" "50000 t50k"; do
    set -- $s
    n=$1 t=$2
    [ -f "$TABLES/$t.db" ] || "$CLI" generate --records "$n" --seed 1 "$TABLES/$t.db" >/dev/null
    set -- $(measure "$CLI" export "$TABLES/$t.db" --format text --output "$TABLES/$t.print.txt" --quiet)
    text=$1
    rm -f "$TABLES/$t.print.txt"
    runs="print"
    case "$t" in t10k | t50k) runs="print save-report" ;; esac
    [ "$t" = t50k ] && runs="save-report"
    for r in $runs; do
      extra=""
      [ "$r" = save-report ] && extra="--save-report $TABLES/$t.RvoP"
      # shellcheck disable=SC2086
      set -- $(measure "$CLI" print "$TABLES/$t.db" --output "$TABLES/$t.pdf" --quiet $extra)
      pages=$(pdfinfo "$TABLES/$t.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')
      mb=$(awk -v b="$(cat "$TABLES/$t.pdf" | wc -c)" 'BEGIN{printf "%.1f", b/1048576}')
      printf "%-8s %-14s %10.1f %8.2f %12.0f %10d %8s %9s\n" "$t" "$r" "$(awk -v us="$1" 'BEGIN{print us/1000}')" \
        "$(awk -v a="$1" -v b="$text" 'BEGIN{print a/b}')" "$(awk -v n="$n" -v us="$1" 'BEGIN{print n/(us/1e6)}')" \
        "$3" "${pages:--}" "$mb"
      rm -f "$TABLES/$t.pdf" "$TABLES/$t.RvoP"
    done
  done
  echo
fi

if want formats; then
  FORMATS=${FORMATS:-"HTML XML SQL LDIF Clipboard DBase XLS SPSS SYLK DIF WKS Quattro"}
  # Worksheets hold a limited number of rows: those formats split into files of
  # as many rows as a sheet holds.
  split_args() {
    case "$1" in
      XLS) echo "--rows-per-file 16000" ;;
      WKS | Quattro) echo "--rows-per-file 8000" ;;
    esac
  }
  have_x=1
  command -v xvfb-run >/dev/null || have_x=0
  echo "== korvane-cli export: every format beside text export (best of $REPEAT rounds, into a file)"
  echo "Same table and options for every format (the defaults of the command line). Each"
  echo "round runs every format once, so that the load of the machine falls on all alike;"
  echo "the ratios are to text export. CPU is user + system time of korvane-cli and the"
  echo "helpers it waits for; peak memory the largest of them (/usr/bin/time)."
  [ "$have_x" = 1 ] || echo "Clipboard: skipped, no xvfb-run (the clipboard needs a display)."
  echo "XLS is split into files of 16 000 rows, WKS and Quattro into files of 8 000."
  printf "%-8s %-10s %10s %8s %10s %8s %10s %9s\n" table format "wall ms" "/text" "CPU ms" "/text" "peak KB" "out MB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    declare -A wall=() cpu=() peak=() size=()
    fmts="text"
    for f in $FORMATS; do
      [ "$f" = Clipboard ] && [ "$have_x" = 0 ] && continue
      fmts="$fmts $f"
    done
    for _ in $(seq "$REPEAT"); do
      for f in $fmts; do
        out="$TABLES/$t.export.$f"
        if [ "$f" = Clipboard ]; then
          # No file: the clipboard (and the helper serving it, xclip) holds the whole text.
          r=$(under_x measure "$CLI" export "$TABLES/$t.db" --format Clipboard --quiet)
        else
          # shellcheck disable=SC2046
          r=$(measure "$CLI" export "$TABLES/$t.db" --format "$f" --output "$out" --quiet $(split_args "$f"))
          # Every file of the run: split parts, a memo file beside a table.
          size[$f]=$(awk -v b="$(cat "$TABLES/$t.export"* | wc -c)" 'BEGIN{printf "%.1f", b/1048576}')
          rm -f "$TABLES/$t.export"*
        fi
        set -- $r
        if [ -z "${wall[$f]:-}" ] || [ "$1" -lt "${wall[$f]}" ]; then wall[$f]=$1; fi
        if [ -z "${cpu[$f]:-}" ] || [ "$2" -lt "${cpu[$f]}" ]; then cpu[$f]=$2; fi
        if [ -z "${peak[$f]:-}" ] || [ "$3" -gt "${peak[$f]}" ]; then peak[$f]=$3; fi
      done
    done
    for f in $fmts; do
      printf "%-8s %-10s %10.1f %8.2f %10d %8.2f %10d %9s\n" "$t" "$f" "$(awk -v us="${wall[$f]}" 'BEGIN{print us/1000}')" \
        "$(awk -v a="${wall[$f]}" -v b="${wall[text]}" 'BEGIN{print a/b}')" "${cpu[$f]}" \
        "$(awk -v a="${cpu[$f]}" -v b="${cpu[text]}" 'BEGIN{print a/b}')" "${peak[$f]}" "${size[$f]:--}"
    done
    unset wall cpu peak size
  done
  echo
fi

if want pdfrtf; then
  REPEAT_BIG=${REPEAT_BIG:-1}
  echo "== korvane-cli export: PDF and RTF beside text export (best of $REPEAT rounds, $REPEAT_BIG for 1 000 000 records)"
  echo "Each round runs text, PDF and RTF once to /dev/null and once into a file, so that the"
  echo "load of the machine falls on all alike; ratios are to text export with the same output."
  echo "CPU is user + system time; peak memory the largest resident size (/usr/bin/time)."
  printf "%-8s %-6s %-9s %10s %8s %10s %8s %10s %9s\n" table format output "wall ms" "/text" "CPU ms" "/text" "peak KB" \
    "out MB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    rounds=$REPEAT
    [ "$n" -ge 1000000 ] && rounds=$REPEAT_BIG
    declare -A wall=() cpu=() peak=() size=()
    for _ in $(seq "$rounds"); do
      for f in text PDF RTF; do
        for o in null file; do
          k="$f/$o"
          out=/dev/null
          [ "$o" = file ] && out="$TABLES/$t.pdfrtf.$f"
          if ! r=$(measure "$CLI" export "$TABLES/$t.db" --format "$f" --output "$out" --quiet); then
            echo "$t $f into $out: the export failed (round left out)"
            rm -f "$TABLES/$t.pdfrtf."*
            continue
          fi
          if [ "$o" = file ]; then
            size[$f]=$(awk -v b="$(stat -c %s "$out")" 'BEGIN{printf "%.1f", b/1048576}')
            rm -f "$out"
          fi
          set -- $r
          if [ -z "${wall[$k]:-}" ] || [ "$1" -lt "${wall[$k]}" ]; then wall[$k]=$1; fi
          if [ -z "${cpu[$k]:-}" ] || [ "$2" -lt "${cpu[$k]}" ]; then cpu[$k]=$2; fi
          if [ -z "${peak[$k]:-}" ] || [ "$3" -gt "${peak[$k]}" ]; then peak[$k]=$3; fi
        done
      done
    done
    for o in null file; do
      for f in text PDF RTF; do
        k="$f/$o"
        printf "%-8s %-6s %-9s %10.1f %8.2f %10d %8.2f %10d %9s\n" "$t" "$f" \
          "$([ "$o" = null ] && echo /dev/null || echo file)" "$(awk -v us="${wall[$k]}" 'BEGIN{print us/1000}')" \
          "$(awk -v a="${wall[$k]}" -v b="${wall[text/$o]}" 'BEGIN{print a/b}')" "${cpu[$k]}" \
          "$(awk -v a="${cpu[$k]}" -v b="${cpu[text/$o]}" 'BEGIN{print (b ? a/b : 0)}')" "${peak[$k]}" \
          "$([ "$o" = file ] && echo "${size[$f]}" || echo -)"
      done
    done
    unset wall cpu peak size
  done
  echo
fi

if want engine; then
  echo "== bench_engine (Google Benchmark; real time)"
  "$BENCH" --tables "$TABLES" --benchmark_min_time="${MIN_TIME:-0.5}" --benchmark_counters_tabular=true 2>/dev/null
  echo
fi

if want rescue; then
  # The largest table, copied with its block chain broken in the middle: the next link
  # of the middle block points back to block 3, a loop. Salvage reads the chain up to
  # the loop, then every other data block of the file.
  set -- ${sizes[-1]}
  n=$1 t=$2
  broken="$TABLES/$t.broken"
  cp "$TABLES/$t.db" "$broken.db"
  cp "$TABLES/$t.mb" "$broken.mb"
  mid=$(python3 - "$broken.db" <<'PY'
import os, struct, sys
path = sys.argv[1]
with open(path, "r+b") as f:
    head = f.read(6)
    header_len, block = struct.unpack_from("<H", head, 2)[0], head[5] * 1024
    mid = (os.path.getsize(path) - header_len) // block // 2
    f.seek(header_len + (mid - 1) * block)
    f.write(struct.pack("<H", 3))
print(mid)
PY
)
  echo "== damaged table: dump --salvage of $t with the chain looped (block $mid -> block 3) beside dump"
  echo "Best of $REPEAT rounds, each round running every command once; CPU is user + system."
  recovered=$("$CLI" dump --salvage "$broken.db" 2>/dev/null | tail -n +2 | wc -l || true)
  echo "records recovered: $recovered of $n"
  "$CLI" dump --salvage "$broken.db" 2>&1 >/dev/null | sed 's/^/stderr: /' || true
  printf "%-8s %-24s %10s %8s %10s %8s %10s\n" table run "wall ms" "/dump" "CPU ms" "/dump" "peak KB"
  declare -A wall=() cpu=() peak=()
  runs=("dump|$TABLES/$t.db" "dump --salvage|$TABLES/$t.db" "dump --salvage (broken)|$broken.db")
  for _ in $(seq "$REPEAT"); do
    for r in "${runs[@]}"; do
      name=${r%%|*} path=${r#*|}
      salvage=""
      [[ "$name" == *--salvage* ]] && salvage="--salvage"
      # shellcheck disable=SC2086
      set -- $(measure "$CLI" dump $salvage "$path")
      if [ -z "${wall[$name]:-}" ] || [ "$1" -lt "${wall[$name]}" ]; then wall[$name]=$1; fi
      if [ -z "${cpu[$name]:-}" ] || [ "$2" -lt "${cpu[$name]}" ]; then cpu[$name]=$2; fi
      if [ -z "${peak[$name]:-}" ] || [ "$3" -gt "${peak[$name]}" ]; then peak[$name]=$3; fi
    done
  done
  for r in "${runs[@]}"; do
    name=${r%%|*}
    printf "%-8s %-24s %10.1f %8.2f %10d %8.2f %10d\n" "$t" "$name" "$(awk -v us="${wall[$name]}" 'BEGIN{print us/1000}')" \
      "$(awk -v a="${wall[$name]}" -v b="${wall[dump]}" 'BEGIN{print a/b}')" "${cpu[$name]}" \
      "$(awk -v a="${cpu[$name]}" -v b="${cpu[dump]}" 'BEGIN{print a/b}')" "${peak[$name]}"
  done
  unset wall cpu peak
  rm -f "$broken.db" "$broken.mb"
  echo

  # Code page detection: on the generated tables (Western European words under a 1252
  # driver) and on tables of 100 000 records in other scripts under their own drivers.
  scripts="cyrillic greek turkish hebrew arabic czech"
  for sc in $scripts; do
    [ -f "$TABLES/s100k-$sc.db" ] || "$CLI" generate --records 100000 --seed 1 --script "$sc" "$TABLES/s100k-$sc.db" >/dev/null
  done
  echo "== code page detection (bench_engine DetectCodePage: scoring alone; read_MB: bytes read)"
  "$BENCH" --tables "$TABLES" --benchmark_filter='^DetectCodePage/' --benchmark_min_time="${MIN_TIME:-0.5}" \
    --benchmark_counters_tabular=true 2>/dev/null
  echo
  echo "== korvane-cli info (opening, header and detection; best of $REPEAT)"
  printf "%-18s %10s  %s\n" table "info ms" "text code page"
  for tb in "$t" s100k-cyrillic s100k-arabic; do
    printf "%-18s %10s  %s\n" "$tb" "$(best_ms "$CLI" info "$TABLES/$tb.db")" \
      "$("$CLI" info "$TABLES/$tb.db" | sed -n 's/^Text code page: *//p')"
  done
  echo
fi

if want targets; then
  # Tables, databases and office documents, each beside text export in the same rounds.
  # The office formats start a LibreOffice of their own: only at 10 000 records, only
  # when soffice is installed (OFFICE=0 leaves them out), and only in the first
  # OFFICE_REPEAT rounds (default 1: they take minutes each).
  have_office=${OFFICE:-1}
  command -v soffice >/dev/null || have_office=0
  OFFICE_REPEAT=${OFFICE_REPEAT:-1}
  # An office run still going after OFFICE_TIMEOUT seconds is stopped and shown as such.
  OFFICE_TIMEOUT=${OFFICE_TIMEOUT:-600}
  TARGETS=${TARGETS:-"Paradox ADO Excel Word OpenOffice"}
  descendants() {
    local c
    for c in $(pgrep -P "$1"); do
      echo "$c"
      descendants "$c"
    done
  }
  # measure, stopped after OFFICE_TIMEOUT seconds ("timeout" then): LibreOffice runs in
  # a process group of its own, so every process under the run is ended by its id.
  measure_office() {
    local result="$TABLES/office.measure"
    rm -f "$result"
    (measure "$@" >"$result" 2>/dev/null) &
    local bg=$! until=$(($(date +%s) + OFFICE_TIMEOUT))
    while kill -0 "$bg" 2>/dev/null && [ "$(date +%s)" -lt "$until" ]; do
      sleep 0.2
    done
    if kill -0 "$bg" 2>/dev/null; then
      local pids
      pids=$(descendants "$bg")
      # shellcheck disable=SC2086
      [ -n "$pids" ] && kill $pids 2>/dev/null
      sleep 2
      # shellcheck disable=SC2086
      [ -n "$pids" ] && kill -9 $pids 2>/dev/null
      wait "$bg" 2>/dev/null || true
      echo timeout
    else
      wait "$bg" 2>/dev/null || true
      cat "$result"
    fi
    rm -f "$result"
  }
  target_out() {
    case "$1" in
      text) echo txt ;;
      Paradox) echo db ;;
      ADO) echo sqlite ;;
      Excel) echo xlsx ;;
      Word) echo docx ;;
      OpenOffice) echo odt ;;
    esac
  }
  echo "== korvane-cli export: tables, databases and office documents beside text export (best of $REPEAT rounds)"
  echo "Paradox writes a .db and its .mb; ADO inserts into a new table of an SQLite file"
  echo "(--output FILE.sqlite --table t); Excel .xlsx, Word .docx, OpenOffice .odt."
  if [ "$have_office" = 1 ]; then
    echo "Excel, Word, OpenOffice: 10 000 records, in the first $OFFICE_REPEAT round(s) only."
  else
    echo "Excel, Word, OpenOffice: skipped (soffice is not installed, or OFFICE=0)."
  fi
  printf "%-8s %-10s %10s %8s %10s %8s %10s %9s\n" table format "wall ms" "/text" "CPU ms" "/text" "peak KB" "out MB"
  for s in "${sizes[@]}"; do
    set -- $s
    n=$1 t=$2
    declare -A wall=() cpu=() peak=() size=() failed=()
    fmts="text"
    for f in $TARGETS; do
      case "$f" in Excel | Word | OpenOffice) [ "$t" = t10k ] && [ "$have_office" = 1 ] || continue ;; esac
      fmts="$fmts $f"
    done
    for round in $(seq "$REPEAT"); do
      for f in $fmts; do
        case "$f" in Excel | Word | OpenOffice) [ "$round" -le "$OFFICE_REPEAT" ] || continue ;; esac
        out="$TABLES/$t.target.$(target_out "$f")"
        rm -f "$TABLES/$t.target."*
        extra=""
        [ "$f" = ADO ] && extra="--table t"
        case "$f" in
          Excel | Word | OpenOffice) r=$(measure_office "$CLI" export "$TABLES/$t.db" --format "$f" --output "$out" --quiet) ;;
          # shellcheck disable=SC2086
          *) r=$(measure "$CLI" export "$TABLES/$t.db" --format "$f" --output "$out" --quiet $extra) ;;
        esac
        if [ "$r" = timeout ]; then
          rm -f "$TABLES/$t.target."*
          continue
        fi
        [ -s "$out" ] || failed[$f]=1
        size[$f]=$(awk -v b="$(cat "$TABLES/$t.target."* | wc -c)" 'BEGIN{printf "%.1f", b/1048576}')
        rm -f "$TABLES/$t.target."*
        set -- $r
        if [ -z "${wall[$f]:-}" ] || [ "$1" -lt "${wall[$f]}" ]; then wall[$f]=$1; fi
        if [ -z "${cpu[$f]:-}" ] || [ "$2" -lt "${cpu[$f]}" ]; then cpu[$f]=$2; fi
        if [ -z "${peak[$f]:-}" ] || [ "$3" -gt "${peak[$f]}" ]; then peak[$f]=$3; fi
      done
    done
    for f in $fmts; do
      if [ -z "${wall[$f]:-}" ]; then
        printf "%-8s %-10s %10s  (stopped after %d s)\n" "$t" "$f" "timeout" "$OFFICE_TIMEOUT"
        continue
      fi
      printf "%-8s %-10s %10.1f %8.2f %10d %8.2f %10d %9s%s\n" "$t" "$f" "$(awk -v us="${wall[$f]}" 'BEGIN{print us/1000}')" \
        "$(awk -v a="${wall[$f]}" -v b="${wall[text]}" 'BEGIN{print a/b}')" "${cpu[$f]}" \
        "$(awk -v a="${cpu[$f]}" -v b="${cpu[text]}" 'BEGIN{print a/b}')" "${peak[$f]}" "${size[$f]:--}" \
        "${failed[$f]:+  (no output: failed)}"
    done
    unset wall cpu peak size failed
  done
  echo
fi

if [ "${PROFILE:-0}" = 1 ] && command -v perf >/dev/null; then
  big=$(for s in "${sizes[@]}"; do set -- $s; echo "$2"; done | tail -1)
  echo "== profile: bench_engine Scan/$big"
  perf record -q -g -o "$TABLES/perf-scan.data" "$BENCH" --tables "$TABLES" --benchmark_filter="^Scan/$big" \
    --benchmark_min_time=1 >/dev/null 2>&1
  perf report -q -i "$TABLES/perf-scan.data" --stdio --no-children --percent-limit 2 2>/dev/null | grep -v '^$' | head -40
  echo
  echo "== profile: korvane-cli dump $big.db"
  perf record -q -g -o "$TABLES/perf-dump.data" "$CLI" dump "$TABLES/$big.db" >/dev/null 2>&1
  perf report -q -i "$TABLES/perf-dump.data" --stdio --no-children --percent-limit 2 2>/dev/null | grep -v '^$' | head -40
  echo
  echo "== profile: korvane-cli export $big.db --format text"
  perf record -q -g -o "$TABLES/perf-export.data" "$CLI" export "$TABLES/$big.db" --format text --output /dev/null \
    --quiet >/dev/null 2>&1
  perf report -q -i "$TABLES/perf-export.data" --stdio --no-children --percent-limit 2 2>/dev/null | grep -v '^$' | head -40
fi
