#!/usr/bin/env bash
# The scanner at real scale, in one run, on one corpus and the same signatures:
#   1. throughput of vodazedad-scan (verdict cache empty) against clamscan and against
#      clamdscan --multiscan with a clamd this script starts on a private socket and
#      configuration (cache off); goal: at least 1.1 x clamdscan --multiscan;
#   2. a second scan of the unchanged corpus (verdict cache filled by the first);
#      goal: at least 10 x clamscan's throughput;
#   3. engine start and peak memory with a generated database of 1.1 million
#      signatures, against clamscan loading the same files; goals: start at most
#      1.0 x clamscan's, peak RSS at most 1.2 x clamscan's.
#
#   bench/scan/scale.sh [BUILD_DIR] [CORPUS_DIR]
# Each figure is the best of three rounds. The corpus is the one of bench/scan/run.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
corpus="${2:-$build/bench-corpus}"
rounds=3

for tool in clamscan clamd clamdscan /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/packages.txt lists it)" >&2; exit 2; }
done
source "$root/bench/scan/corpus.sh"

work="$(mktemp -d)"
clamd_pid=""
cleanup() {
    [[ -n "$clamd_pid" ]] && kill "$clamd_pid" 2>/dev/null && wait "$clamd_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cp -r "$build/appdir" "$work/app"
mkdir -p "$work/registry" "$work/run" "$work/tmp"
export VODAZEDAD_REGISTRY_DIR="$work/registry" VODAZEDAD_RUNTIME_DIR="$work/run"
# Report only: the corpus must stay as it is between rounds.
"$work/app/vodazedad-reg" add 'HKCU\Software\Vantrelo\Vantrelo VodaZedad\Options' /v Action /t REG_DWORD /d 3 >/dev/null
sigs="$root/outside/savapi/signatures"

best() { sort -n | head -1; }
time_of() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN {printf "%.3f\n", e - s}'; }
report() { awk -v n="$files" -v m="$mb" -v t="$2" -v name="$1" 'BEGIN {printf "  %-26s %7.3f s  %8.0f files/s  %7.1f MB/s\n", name, t, n / t, m / t}'; }
ratio() { awk -v a="$1" -v b="$2" -v goal="$3" -v what="$4" 'BEGIN {r = b / a; printf "  %s: %.2f (goal %s) %s\n", what, r, goal, (r >= goal + 0 ? "met" : "NOT met")}'; }
# The verdict cache lives in the installation's data; the cold rounds start without it.
forget_verdicts() { rm -f "$work/app/VERDICTS.DAT"*; }

# Warm the page cache once, so that every scanner reads from memory.
find "$corpus" -type f -print0 | xargs -0 cat >/dev/null 2>&1 || true

# clamd on a private socket, the same signatures, the options our defaults give.
mkdir -p "$work/db"
cp "$sigs"/*.ndb "$work/db/"
cat > "$work/clamd.conf" <<EOF
LocalSocket $work/clamd.sock
DatabaseDirectory $work/db
TemporaryDirectory $work/tmp
Foreground yes
LogFile $work/clamd.log
DisableCache yes
MaxThreads $(nproc)
ScanArchive yes
HeuristicAlerts yes
HeuristicScanPrecedence yes
AlertBrokenExecutables yes
AlertBrokenMedia yes
AlertEncrypted yes
AlertOLE2Macros yes
AlertExceedsMax yes
AlertPhishingSSLMismatch yes
AlertPhishingCloak yes
AlertPartitionIntersection yes
EOF
clamd -c "$work/clamd.conf" >"$work/clamd.out" 2>&1 &
clamd_pid=$!
for _ in $(seq 300); do [[ -S "$work/clamd.sock" ]] && break; sleep 0.1; done
[[ -S "$work/clamd.sock" ]] || { echo "clamd did not start:" >&2; cat "$work/clamd.log" >&2; exit 2; }

same_options=(--heuristic-alerts=yes --heuristic-scan-precedence=yes --alert-broken=yes --alert-broken-media=yes
    --alert-encrypted=yes --alert-macros=yes --alert-exceeds-max=yes --alert-phishing-ssl=yes --alert-phishing-cloak=yes
    --alert-partition-intersection=yes --scan-archive=yes)

echo
echo "1. Throughput, verdict cache empty ($(nproc) cores):"
ours=$(for _ in $(seq $rounds); do forget_verdicts; time_of "$work/app/vodazedad-scan" --no-summary -i "$corpus"; done | best)
clamscan_t=$(for _ in $(seq $rounds); do time_of clamscan --no-summary -r "${same_options[@]}" -d "$sigs" "$corpus"; done | best)
clamd_t=$(for _ in $(seq $rounds); do time_of clamdscan --config-file="$work/clamd.conf" --multiscan --no-summary "$corpus"; done | best)
report "vodazedad-scan" "$ours"
report "clamscan" "$clamscan_t"
report "clamdscan --multiscan" "$clamd_t"
ratio "$ours" "$clamd_t" 1.1 "clamdscan --multiscan / vodazedad-scan"
ratio "$ours" "$clamscan_t" 1.0 "clamscan / vodazedad-scan"

echo
echo "2. Second scan of the unchanged corpus:"
forget_verdicts
time_of "$work/app/vodazedad-scan" --no-summary -i "$corpus" >/dev/null
again=$(for _ in $(seq $rounds); do time_of "$work/app/vodazedad-scan" --no-summary -i "$corpus"; done | best)
report "vodazedad-scan, again" "$again"
ratio "$again" "$clamscan_t" 10 "clamscan / vodazedad-scan again"

echo
echo "3. A database of 1.1 million signatures:"
big="$work/bigdb"
python3 "$root/bench/engine/make_big_database.py" "$big" >/dev/null
compile_out="$work/compile.txt"
/usr/bin/time -v "$work/app/vodazedad-vdf" --allow-unsigned --from "$big" --output "$work/app/ANTIVIR.VDF" >/dev/null 2>"$compile_out" \
    || { echo "the definitions compiler failed:" >&2; cat "$compile_out" >&2; exit 2; }
measure() { # prints "seconds peak-kB" of the best round of a command
    for _ in $(seq $rounds); do
        /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1
    done | sort -n | head -1
}
read -r our_s our_kb < <(measure "$work/app/vodazedad-scan" --version)
read -r their_s their_kb < <(measure clamscan --no-summary -d "$big" /dev/null)
printf "  %-26s %7.2f s  %8d MB peak\n" "vodazedad engine start" "$our_s" $((our_kb / 1024))
printf "  %-26s %7.2f s  %8d MB peak\n" "clamscan database load" "$their_s" $((their_kb / 1024))
awk -v a="$our_s" -v b="$their_s" 'BEGIN {r = a / b; printf "  start vodazedad / clamscan: %.2f (goal at most 1.0) %s\n", r, (r <= 1.0 ? "met" : "NOT met")}'
awk -v a="$our_kb" -v b="$their_kb" 'BEGIN {r = a / b; printf "  peak RSS vodazedad / clamscan: %.2f (goal at most 1.2) %s\n", r, (r <= 1.2 ? "met" : "NOT met")}'
