# Sourced by the scan benchmarks: makes the corpus in "$corpus" once (a copy of
# /usr/share/doc, /usr/include and the Python library: some twenty thousand files of
# mixed size, many compressed, without links) and sets files, bytes and mb.
if [[ ! -d "$corpus" ]]; then
    mkdir -p "$corpus"
    for src in /usr/share/doc /usr/include /usr/lib/python3*; do
        [[ -d "$src" ]] && cp -r "$src" "$corpus/$(basename "$src")" 2>/dev/null || true
    done
    find "$corpus" -type l -delete
fi
files=$(find "$corpus" -type f | wc -l)
bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
mb=$(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1048576}')
echo "Corpus: $corpus, $files files, $mb MB"
(( files >= 5000 )) || echo "warning: fewer than 5000 files in the corpus" >&2
