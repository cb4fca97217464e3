#!/bin/bash
# Compares the engine, through the binding and our layer, with clamscan on one corpus
# and the same signatures, in one run, and prints files/s, MB/s and the ratio.
#   bench/engine/run_bench.sh [BUILD_DIR] [CORPUS_DIR]
# Without CORPUS_DIR a corpus of several thousand files of mixed size is assembled
# from /usr/share/doc and /usr/lib/python3.11 plus generated large files, with a few
# samples of libclamav's test files inside. Each side scans the corpus once to warm
# the page cache, then three times; the best time counts.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-engine}
build=$(cd "$build" && pwd)
appdir=$build/appdir
bench=$build/bench/engine/vz_engine_bench
compiler=$appdir/vodazedad-vdf
manifest=$here/../../outside/savapi/signatures/definitions.ini

for tool in "$bench" "$compiler" "$appdir/SAVAPI.DLL"; do
    [ -e "$tool" ] || { echo "missing $tool: build first (cmake --build $build)" >&2; exit 1; }
done
command -v clamscan >/dev/null || { echo "clamscan is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/vz-engine-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

corpus=${2:-}
if [ -z "$corpus" ]; then
    corpus=$work/corpus
    mkdir -p "$corpus"
    cp -r /usr/share/doc "$corpus/doc" 2>/dev/null || true
    [ -d /usr/lib/python3.11 ] && cp -r /usr/lib/python3.11 "$corpus/python" 2>/dev/null || true
    mkdir -p "$corpus/large" "$corpus/samples"
    for i in 1 2 3 4; do head -c $((i * 8 * 1024 * 1024)) /dev/urandom > "$corpus/large/random$i.bin"; done
    for f in clam.exe clam.zip clam.7z clam.tar.gz clam.pdf; do cp "/usr/share/clamav-testfiles/$f" "$corpus/samples/"; done
    find "$corpus" -type l -delete
fi

# The same signatures for clamscan: the databases the definitions are compiled from.
"$compiler" "$manifest" "$work/ANTIVIR.VDF" --extract "$work/db"

files=$(find "$corpus" -type f | wc -l)
megabytes=$(du -sbL "$corpus" | awk '{printf "%.1f", $1 / 1048576}')
echo "corpus: $corpus ($files files, $megabytes MB)"

best() { sort -n | head -1; }
time_of() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); echo "$e - $s" | bc; }

# Copies of the engine: one without its verdict cache, for the same work as clamscan,
# and one with it (VERDICTS.DAT in its own folder), for a scan of files already found clean.
for kind in cold cached; do
    mkdir -p "$work/$kind"
    cp "$appdir/SAVAPI.DLL" "$appdir/AVEWIN32.DLL" "$appdir/ANTIVIR.VDF" "$work/$kind/"
done
printf '[Engine]\nVerdictCache=0\n' > "$work/cold/QelAv.SCH"

# The same work on both sides: archives and all parsers on, no heuristic alerts
# besides encrypted content, no clean-file cache.
clam=(clamscan --no-summary --infected --recursive --database="$work/db" --heuristic-alerts=no
      --alert-encrypted-archive=yes --alert-encrypted-doc=yes --disable-cache "$corpus")
ours=("$bench" "$work/cold" "$corpus" 9)
cached=("$bench" "$work/cached" "$corpus" 9)

"${ours[@]}" >/dev/null; "${clam[@]}" >/dev/null 2>&1 || true
ours_times=(); clam_times=()
for round in 1 2 3; do
    ours_times+=("$(time_of "${ours[@]}")")
    clam_times+=("$(time_of "${clam[@]}")")
done
# The first scan fills the verdict cache (files changed in the last 2 s are not kept).
sleep 2
"${cached[@]}" >/dev/null
cached_times=()
for round in 1 2 3; do cached_times+=("$(time_of "${cached[@]}")"); done
cached_best=$(printf '%s\n' "${cached_times[@]}" | best)
ours_best=$(printf '%s\n' "${ours_times[@]}" | best)
clam_best=$(printf '%s\n' "${clam_times[@]}" | best)
detail=$("${ours[@]}")
infected_ours=$(echo "$detail" | sed 's/.*infected=\([0-9]*\).*/\1/')
infected_clam=$("${clam[@]}" 2>/dev/null | grep -c FOUND || true)

start_times=()
for round in 1 2 3 4 5; do
    start_times+=("$("$bench" "$work/cold" "$work/db" 9 | sed 's/.*start_seconds=\([0-9.]*\).*/\1/')")
done
start_best=$(printf '%s\n' "${start_times[@]}" | best)

rate() { echo "scale=1; $1 / $2" | bc; }
printf '%-34s %10s %10s %10s %9s\n' "" "seconds" "files/s" "MB/s" "findings"
printf '%-34s %10.3f %10s %10s %9s\n' "engine via binding (SAVAPI.DLL)" "$ours_best" "$(rate "$files" "$ours_best")" "$(rate "$megabytes" "$ours_best")" "$infected_ours"
printf '%-34s %10.3f %10s %10s %9s\n' "engine, verdicts cached" "$cached_best" "$(rate "$files" "$cached_best")" "$(rate "$megabytes" "$cached_best")" "-"
printf '%-34s %10.3f %10s %10s %9s\n' "clamscan, same signatures" "$clam_best" "$(rate "$files" "$clam_best")" "$(rate "$megabytes" "$clam_best")" "$infected_clam"
echo "ratio (engine / clamscan): $(echo "scale=3; $ours_best / $clam_best" | bc)"
echo "engine start with the default definitions: ${start_best} s (best of 5)"
echo "engine detail: $detail"
