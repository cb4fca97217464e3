#!/bin/sh
# Builds the mail parser fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a bounded time over the seed corpus.
# Usage: run_fuzz.sh SOURCE_DIR WORK_DIR SECONDS
set -eu
src=$1
work=$2
seconds=$3
cxx=${VZ_FUZZ_CXX:-clang++}

mkdir -p "$work/corpus" "$work/crashes"
$cxx -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I "$src" \
    "$src/service/mail/fuzz/mail_parser_fuzzer.cpp" \
    "$src/service/mail/char_class.cpp" \
    "$src/service/mail/transfer_decoder.cpp" \
    "$src/service/mail/encoded_word.cpp" \
    "$src/service/mail/header_field.cpp" \
    "$src/service/mail/part_header.cpp" \
    "$src/service/mail/message_part.cpp" \
    "$src/service/mail/message_rewrite.cpp" \
    "$src/common/text.cpp" \
    "$src/common/result.cpp" \
    -o "$work/mail_parser_fuzzer"

# New inputs go to the work corpus; the seeds in the repository stay untouched.
exec "$work/mail_parser_fuzzer" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$work/crashes/" \
    "$work/corpus" "$src/service/mail/fuzz/corpus"
