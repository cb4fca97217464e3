#!/usr/bin/env bash
# The mail scan's speed: vodazedad-mailscan on generated messages of about 1 MB (and
# one of 10,000 short parts), best of three rounds, with the time the goal allows
# (1 s per message of up to 1 MB) and the ratio goal/time (1.0 or more meets it).
# Then where the time goes (mail_bench: scan, whole-message test, part tests).
#
#   bench/mail/run.sh [BUILD_DIR]
#
# Every engine test makes and removes a folder of the engine's own in its temporary
# folder; on a file system mounted with "discard" that costs milliseconds per test.
# So each run is made twice: with the engine's temporary folder where it is by
# default (TMPDIR or /tmp) and, when there is one, on the memory file system /dev/shm.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$root/build}"
rounds=3

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/registry" "$work/run" "$work/messages" "$work/copies"
export VODAZEDAD_REGISTRY_DIR="$work/registry" VODAZEDAD_RUNTIME_DIR="$work/run"
python3 "$root/bench/mail/make_messages.py" "$work/messages"
tool="$build/appdir/vodazedad-mailscan"

best() { sort -n | head -1; }
# One run of the tool on a fresh copy (a clean message is deleted); prints seconds.
time_tool() {
    local message="$1" copy="$work/copies/$(basename "$1")" s e
    cp "$message" "$copy"
    s=$(date +%s.%N)
    "$tool" "$copy" >/dev/null 2>&1 || true
    e=$(date +%s.%N)
    rm -f "$copy"
    awk -v s="$s" -v e="$e" 'BEGIN {printf "%.3f\n", e - s}'
}

temps=("${TMPDIR:-/tmp}")
[[ -d /dev/shm && -w /dev/shm ]] && temps+=(/dev/shm)
for temp in "${temps[@]}"; do
    echo "Engine temporary folder: $temp"
    printf '%-24s %8s %9s %10s\n' "message" "KB" "time s" "goal/time"
    for message in "$work/messages"/*.eml; do
        kb=$(( $(stat -c %s "$message") / 1024 ))
        t=$(for _ in $(seq $rounds); do TMPDIR="$temp" time_tool "$message"; done | best)
        awk -v n="$(basename "$message")" -v kb="$kb" -v t="$t" \
            'BEGIN {printf "%-24s %8d %9.3f %10.2f\n", n, kb, t, 1.0 / t}'
    done
    echo "Split (fresh engine each, check only):"
    TMPDIR="$temp" "$build/bench/mail/mail_bench" "$build/appdir" "$work/messages"/*.eml | sed 's/^/  /'
    echo
done
