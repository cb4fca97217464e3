#!/bin/bash
# Compiles the large generated database (make_big_database.py) into definitions and
# starts the engine with them, and loads the same database into clamscan; prints the
# wall time and the peak resident memory of each step (GNU time).
#   bench/engine/big_database.sh [BUILD_DIR]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
build=$(cd "$build" && pwd)
appdir=$build/appdir
bench=$build/bench/engine/vz_engine_bench
for tool in "$appdir/vodazedad-vdf" "$appdir/SAVAPI.DLL" "$appdir/AVEWIN32.DLL" "$bench" /usr/bin/time; do
    [ -e "$tool" ] || { echo "missing $tool: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vz-big-database-XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_big_database.py" "$work/db"
mkdir -p "$work/engine" "$work/empty"
cp "$appdir/SAVAPI.DLL" "$appdir/AVEWIN32.DLL" "$work/engine/"

# measure WHAT [--any-status] COMMAND...: clamscan answers 2 for /dev/null, which it
# does not scan, after loading the database, which is what is measured.
measure() {
    local what=$1; shift
    local strict=1
    [ "$1" = --any-status ] && { strict=0; shift; }
    if ! /usr/bin/time -v "$@" >"$work/out" 2>"$work/time" && [ $strict = 1 ]; then
        cat "$work/out" "$work/time" >&2
        exit 1
    fi
    local wall rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$work/time")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
    printf '%-40s wall %10s   peak RSS %8d MB\n' "$what" "$wall" $((rss / 1024))
}

echo "database: $(wc -l <"$work/db/big.hdb") hash and $(wc -l <"$work/db/big.ndb") body signatures"
measure "vodazedad-vdf --from FOLDER" "$appdir/vodazedad-vdf" --output "$work/engine/ANTIVIR.VDF" --from "$work/db"
echo "definitions: $(du -m "$work/engine/ANTIVIR.VDF" | cut -f1) MB"
measure "engine start (SAVAPI_Init)" "$bench" "$work/engine/" "$work/empty"
echo "engine: $(cat "$work/out")"
if command -v clamscan >/dev/null; then
    measure "clamscan -d FOLDER /dev/null" --any-status clamscan --no-summary -d "$work/db" /dev/null
fi
