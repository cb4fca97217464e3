#!/usr/bin/env bash
# Makes the sample folder the README's first command scans: clean files, the standard
# antivirus test file, the engine test program inside a zip archive, and a harmless
# host file with the repairable test block appended.
set -euo pipefail
out="$1"
rm -rf "$out"
mkdir -p "$out/clean" "$out/archive" "$out/repairable"
printf 'A plain text file: nothing to find here.\n' > "$out/clean/readme.txt"
seq 1 2000 | paste -sd, > "$out/clean/numbers.csv"
cp /bin/true "$out/clean/true"
# The 68-byte standard test file, assembled so that this script is not itself a match.
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$' 'EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' > "$out/eicar.com"
cp /usr/share/clamav-testfiles/clam.zip "$out/archive/clam.zip"
{
    printf 'This is a harmless host file.\n'
    printf '<<VZ-REPAIRABLE-%s>>\n' 'TEST-BLOCK'
    printf 'This harmless block stands in for an appending virus.\n'
    printf '<<VZ-REPAIRABLE-%s>>\n' 'TEST-BLOCK-END'
} > "$out/repairable/host.txt"
touch "$out/.complete"
