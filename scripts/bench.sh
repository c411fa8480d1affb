#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them all, printing
# one table of figure, floor and goal. Takes a few minutes on two cores.
#   scripts/bench.sh [benchmark...]   (line paint screen startup memory)
# Absolute times on a shared machine are noisy; quote medians and ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

# The profilers used to find the causes of missed goals come along here,
# not in the normal build's package list.
kovrit_ensure_packages linux-perf valgrind

kovrit_build build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$PWD/build-bench/xdg-runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

benchmarks=("$@")
[ ${#benchmarks[@]} -eq 0 ] && benchmarks=(line paint screen startup memory)

results=$(mktemp)
log=build-bench/bench.log
: >"$log"
trap 'rm -f "$results"' EXIT
status=0
for b in "${benchmarks[@]}"; do
    echo "== $b" | tee -a "$log"
    out=$(mktemp)
    # The client's information log (one line per machine line and request)
    # goes to the log file, the figures to the terminal.
    if ! build-bench/bench/kovrit-bench "$b" >"$out" 2>>"$log"; then
        echo "benchmark $b failed; see $log" >&2
        status=1
    fi
    cat "$out" >>"$log"
    grep -v '^RESULT|' "$out" || true
    grep '^RESULT|' "$out" >>"$results" || true
    rm -f "$out"
done

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
{
    echo "| Benchmark | Figure | Floor (same run) | Goal | Verdict |"
    echo "|---|---|---|---|---|"
    while IFS='|' read -r _ name figure floor goal verdict; do
        echo "| $name | $figure | $floor | $goal | $verdict |"
    done <"$results"
} | tee build-bench/bench-table.md
missed=$(grep -c '|MISSED$' "$results" || true)
expected=0
for b in "${benchmarks[@]}"; do
    case $b in line | paint | screen | memory) expected=$((expected + 2)) ;; startup) expected=$((expected + 1)) ;; esac
done
got=$(wc -l <"$results")
if [ "$got" -lt "$expected" ]; then
    echo "Only $got of $expected figures were produced; see $log." >&2
    exit 1
fi
echo
echo "$missed of $got goals missed. Full output: $log"
exit $status
