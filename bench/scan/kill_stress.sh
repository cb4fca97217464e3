#!/usr/bin/env bash
# Kills the command-line scanner with SIGKILL at random moments while it quarantines
# thousands of infected files, then lets one scan run to its end, and checks that
# nothing was lost: every file is in place or in the quarantine (owner-only) with its
# index entry, exactly once, and no half-done move is left.
#
#   bench/scan/kill_stress.sh [BUILD_DIR] [FILES] [KILLS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
count="${2:-6000}"
kills="${3:-30}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$build/appdir" "$work/app"
mkdir -p "$work/registry" "$work/run" "$work/data"
export VODAZEDAD_REGISTRY_DIR="$work/registry" VODAZEDAD_RUNTIME_DIR="$work/run"
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$' 'EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' > "$work/eicar"
for ((i = 0; i < count; ++i)); do
    d="$work/data/d$((i % 50))"
    mkdir -p "$d"
    cp "$work/eicar" "$d/f$i.com"
done
echo "$count infected files; $kills kills"

for ((k = 0; k < kills; ++k)); do
    "$work/app/vodazedad-scan" --quiet --no-summary --action quarantine "$work/data" >/dev/null 2>&1 &
    pid=$!
    sleep "0.$((RANDOM % 400 + 50))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
"$work/app/vodazedad-scan" --quiet --no-summary --action quarantine "$work/data" >/dev/null 2>&1 || true

left=$(find "$work/data" -type f | wc -l)
quarantined=$(find "$work/app/Quarantine" -name 'AV*.QRT' -type f | wc -l)
leftovers=$(find "$work/app/Quarantine" \( -name '*.intent' -o -name '*.pending' \) | wc -l)
not_private=$(find "$work/app/Quarantine" -name 'AV*.QRT' ! -perm 0600 | wc -l)
entries=$(awk 'NR % 4 == 2' "$work/app/Reports/qtidx.dat" | tr -d '\r' | sort)
unique_entries=$(printf '%s\n' "$entries" | sort -u | grep -c . || true)
all_entries=$(printf '%s\n' "$entries" | grep -c . || true)
missing=0
while read -r name; do
    [[ -z "$name" ]] && continue
    [[ -f "$work/app/Quarantine/$name" ]] || missing=$((missing + 1))
done <<<"$entries"

echo "in place: $left, quarantined: $quarantined, index entries: $all_entries ($unique_entries names)"
echo "half-done moves left: $leftovers, not owner-only: $not_private, entries without their file: $missing"
status=0
(( left + quarantined == count )) || { echo "FAIL: files lost or doubled" >&2; status=1; }
(( all_entries == quarantined && unique_entries == quarantined )) || { echo "FAIL: index and quarantine disagree" >&2; status=1; }
(( leftovers == 0 && not_private == 0 && missing == 0 )) || { echo "FAIL: a move was left half done" >&2; status=1; }
(( status == 0 )) && echo "nothing lost"
exit $status
