#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build-fuzz/ and
# runs each of them, starting from the committed seed corpora in fuzz/corpus/.
#
#   scripts/fuzz.sh MINUTES [NAME...]   run each fuzzer for MINUTES minutes (default 10)
#   scripts/fuzz.sh --runs N [NAME...]  run each fuzzer for N executions (test.sh: short form)
#
# NAME picks fuzzers (maschine, server, konfiguration; default all three).
# ASAN_OPTIONS from the environment are added to the script's own: a long run
# stays fast and small with malloc_context_size=0 (a finding is then rerun
# with the defaults for its allocation stacks).
#
# New inputs go to build-fuzz/corpus/<name>/, crashing inputs to
# build-fuzz/artifacts/; the committed corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

if [ "${1:-}" = "--runs" ]; then
    limit=(-runs="${2:?--runs needs a count}")
    shift 2
else
    limit=(-max_total_time=$((${1:-10} * 60)))
    if [ $# -gt 0 ]; then shift; fi
fi
names=("$@")
if [ ${#names[@]} = 0 ]; then names=(maschine server konfiguration); fi

kovrit_ensure_packages clang libclang-rt-14-dev llvm
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKOVRIT_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target fuzz_maschine fuzz_server fuzz_konfiguration

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/artifacts
for name in "${names[@]}"; do
    mkdir -p "build-fuzz/corpus/$name"
    echo "== fuzz_$name ${limit[*]}"
    status=0
    build-fuzz/fuzz/fuzz_$name "${limit[@]}" -max_len=4096 -print_final_stats=1 \
        -dict="fuzz/$name.dict" -artifact_prefix="build-fuzz/artifacts/$name-" \
        "build-fuzz/corpus/$name" "fuzz/corpus/$name" >"build-fuzz/fuzz_$name.log" 2>&1 || status=$?
    grep -E "^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|SUMMARY|fuzz_$name:)|ERROR|DONE" \
        "build-fuzz/fuzz_$name.log" || true
    if [ "$status" != 0 ]; then
        tail -40 "build-fuzz/fuzz_$name.log" >&2
        echo "fuzz_$name found a fault, see build-fuzz/artifacts/" >&2
        exit 1
    fi
done
