#!/usr/bin/env bash
# The command-line scanner against clamscan on one corpus, with the same signatures:
# files/s, MB/s and the ratio of their times (above 1.0: ours is faster). Then the scan
# job's own overhead over its walk and its engine tests.
#
#   bench/scan/run.sh [BUILD_DIR] [CORPUS_DIR]
# The corpus defaults to a copy of /usr/share/doc, /usr/include and the Python library
# (some ten thousand files of mixed size, many compressed), made once under the build
# folder.
#
# Both scanners do the same work: clamscan gets the signatures the definitions file
# is compiled from and the options our default settings give the engine (archives,
# heuristics at "High", office macro heuristics, alerts on encrypted content).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
corpus="${2:-$build/bench-corpus}"
rounds=3

source "$root/bench/scan/corpus.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$build/appdir" "$work/app"
mkdir -p "$work/registry"
export VODAZEDAD_REGISTRY_DIR="$work/registry" VODAZEDAD_RUNTIME_DIR="$work/run"
# Report only: the corpus must stay as it is between rounds.
"$work/app/vodazedad-reg" add 'HKCU\Software\Vantrelo\Vantrelo VodaZedad\Options' /v Action /t REG_DWORD /d 3 >/dev/null
sigs="$root/outside/savapi/signatures"

best() { sort -n | head -1; }
time_of() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN {printf "%.3f\n", e - s}'; }

# Warm the cache once.
cat $(find "$corpus" -type f | head -20000) >/dev/null 2>&1 || true

ours=$(for _ in $(seq $rounds); do time_of "$work/app/vodazedad-scan" "$corpus"; done | best)
same_options=(--heuristic-alerts=yes --heuristic-scan-precedence=yes --alert-broken=yes --alert-broken-media=yes
    --alert-encrypted=yes --alert-macros=yes --alert-exceeds-max=yes --alert-phishing-ssl=yes --alert-phishing-cloak=yes
    --alert-partition-intersection=yes --scan-archive=yes)
theirs=$(for _ in $(seq $rounds); do time_of clamscan --no-summary -r "${same_options[@]}" -d "$sigs" "$corpus"; done | best)

report() { awk -v n="$files" -v m="$mb" -v t="$2" -v name="$1" 'BEGIN {printf "%-16s %7.3f s  %8.0f files/s  %7.1f MB/s\n", name, t, n / t, m / t}'; }
report "vodazedad-scan" "$ours"
report "clamscan" "$theirs"
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "ratio clamscan/vodazedad-scan: %.2f (at least 1.0 wanted)\n", b / a}'

echo
echo "Scan job overhead:"
"$build/bench/scan/scan_overhead" "$work/app" "$corpus" "$rounds"
