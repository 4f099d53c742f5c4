#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a while: tools/fuzz.sh BUILD_DIR SECONDS
# Seeds come from fuzz/corpus/<target>; findings are written to BUILD_DIR/findings.
set -euo pipefail
build=$1
seconds=$2
src="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$build/findings"
for fuzzer in "$build"/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$src/fuzz/corpus/$name" ] && seeds+=("$src/fuzz/corpus/$name")
    options=()
    case "$name" in fuzz_page | fuzz_filter) options+=(-dict="$src/fuzz/listing.dict") ;; esac
    echo "-- $name for ${seconds}s"
    "$fuzzer" "${options[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$build/findings/$name-" -print_final_stats=1 \
        "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
done
