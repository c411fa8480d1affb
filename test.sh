#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#
#   ./test.sh              build/ with the default compiler, the whole suite,
#                          then each fuzzer for a short fixed number of runs
#   ./test.sh --sanitize   build-asan/ with AddressSanitizer, UndefinedBehavior-
#                          Sanitizer and leak checking, the whole suite
#   ./test.sh --soak N     build/, then the soak test with N cards (e.g. 1000)
#   ./test.sh --interleavings N
#                          build/, then N simulated schedules of the whole
#                          station (e.g. 100000); replay one with
#                          build/tests/app/tst_simulation --seed S
#   ./test.sh --explore    build/, then every ordering of every small scenario
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

mode=${1:-}
# libFuzzer and the clang sanitizer runtimes for the short fuzz runs; the
# printout test reads its PDF back with pdftotext and pdftoppm.
kovrit_ensure_packages clang libclang-rt-14-dev llvm poppler-utils

case "$mode" in
--sanitize)
    san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    kovrit_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
    cd build-asan
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
    ;;
--soak)
    kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cd build
    # Qt Test stops a test function after 5 minutes unless told otherwise.
    KOVRIT_SOAK_KARTEN=${2:?--soak needs a card count} QTEST_FUNCTION_TIMEOUT=14400000 QT_QPA_PLATFORM=offscreen \
        tests/app/tst_soak -maxwarnings 0
    ;;
--interleavings)
    kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cd build
    # N simulated schedules of the whole station, seeds 1..N, shared by two
    # processes; the real-time schedules stay in the suite (tst_interleavings).
    n=${2:?--interleavings needs a schedule count}
    pids=()
    for part in 0 1; do
        from=$((n * part / 2))
        to=$((n * (part + 1) / 2))
        [ "$to" -gt "$from" ] || continue
        XDG_RUNTIME_DIR=$PWD/xdg-runtime KOVRIT_SCHEDULES=$((to - from)) KOVRIT_SEED_BASE=$from QTEST_FUNCTION_TIMEOUT=14400000 \
            QT_QPA_PLATFORM=offscreen tests/app/tst_simulation -maxwarnings 0 schedules >"simulation-$part.log" 2>&1 &
        pids[$part]=$!
    done
    failed=0
    for part in "${!pids[@]}"; do
        if ! wait "${pids[$part]}"; then
            failed=1
            echo "schedules of part $part failed; events in build/simulation-$part.log"
        fi
        grep -E '^(simulation:|seed|// broken|FAIL|Totals)' "simulation-$part.log" || true
    done
    exit $failed
    ;;
--explore)
    kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cd build
    XDG_RUNTIME_DIR=$PWD/xdg-runtime QTEST_FUNCTION_TIMEOUT=14400000 QT_QPA_PLATFORM=offscreen \
        tests/app/tst_simulation --explore
    ;;
"")
    kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300)
    scripts/fuzz.sh --runs 20000
    ;;
*)
    echo "usage: $0 [--sanitize | --soak N | --interleavings N | --explore]" >&2
    exit 2
    ;;
esac
