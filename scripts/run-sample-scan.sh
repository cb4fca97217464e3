#!/usr/bin/env bash
# The main job: scans the sample folder the build made, with the default definitions,
# using a fresh copy of the installation folder and a registry of its own, so that
# the build tree and the machine's settings stay as they are.
set -euo pipefail
build="$1"
run="$build/sample-run"
rm -rf "$run"
mkdir -p "$run/registry"
cp -r "$build/appdir" "$run/app"
cp -r "$build/sample" "$run/data"
echo "Scanning $run/data with the default definitions:"
status=0
VODAZEDAD_REGISTRY_DIR="$run/registry" VODAZEDAD_RUNTIME_DIR="$run/runtime" \
    "$run/app/vodazedad-scan" "$run/data" || status=$?
echo "Quarantine: $(ls "$run/app/Quarantine" | tr '\n' ' ')"
# 1 means infections were found, which the sample folder is made for.
if [[ $status -eq 2 ]]; then
    echo "The scan failed." >&2
    exit 2
fi
