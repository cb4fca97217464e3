#!/usr/bin/env bash
# The main job: shows the installation folder the build assembled.
set -euo pipefail
build="$1"
appdir="$build/appdir"
echo "Installation folder: $appdir"
find "$appdir" -maxdepth 2 | sort | sed "s|^$appdir|  appdir|"
