#!/usr/bin/env bash
# Builds the benchmark programs in Release (build-bench/, nothing else of the
# tree) and runs them, printing one table of figure, floor or limit, goal and
# verdict. Every verdict is a ratio: to a floor measured in the same run (the
# toolkit alone) or to a physical limit (the wire time of a machine line, the
# frame of a display), so a busy neighbour on a shared machine moves figure
# and floor alike. Absolute times are in the table for information only.
#   scripts/bench.sh [benchmark...]   (line paint screen startup memory simulation)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

# The profilers used to find the causes of missed goals come along here,
# not in the normal build's package list.
kovrit_ensure_packages linux-perf valgrind

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target kovrit-bench kovrit-bench-client kovrit-bench-bare tst_simulation >/dev/null

# The load the run saw: other users' compilers are the usual neighbours.
load() {
    echo "load $(cut -d' ' -f1-3 /proc/loadavg), $(ps -eo comm= | grep -cE '^(cc1plus|ld|clang.*)$' || true) compiler processes"
}
load_before=$(load)

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$PWD/build-bench/xdg-runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

benchmarks=("$@")
[ ${#benchmarks[@]} -eq 0 ] && benchmarks=(line paint screen startup memory simulation)

# The card flow's schedules as the test suite simulates them (the station's
# fakes on a clock of their own, one core): how much of the flow a minute of
# testing covers. Information only, there is no goal.
simulation() {
    local n=10000 line
    if ! KOVRIT_SCHEDULES=$n build-bench/tests/app/tst_simulation -maxwarnings 0 schedules >"$1.sim"; then
        cat "$1.sim" >&2
        rm -f "$1.sim"
        return 1
    fi
    line=$(grep '^simulation:' "$1.sim")
    rm -f "$1.sim"
    echo "$line"
    echo "$line" | sed -n 's/^simulation: \([0-9]*\) schedules .* in \([0-9.]*\) s;.*/\1 \2/p' |
        awk '{ printf "RESULT|simulated card-flow schedules|%.0f schedules/s (%d in %.1f s)|-|information|info\n", $1 / $2, $1, $2 }'
}

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
    if [ "$b" = simulation ]; then
        run=(simulation "$out")
    else
        run=(build-bench/bench/kovrit-bench "$b")
    fi
    if ! "${run[@]}" >"$out" 2>>"$log"; then
        echo "benchmark $b failed; see $log" >&2
        status=1
    fi
    cat "$out" >>"$log"
    grep -v '^RESULT|' "$out" || true
    grep '^RESULT|' "$out" >>"$results" || true
    rm -f "$out"
done

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/^Mem:/ {print $2}') GiB"
echo "Before: $load_before"
echo "After:  $(load)"
echo
{
    echo "| Benchmark | Figure | Floor (same run) or limit | Goal | Verdict |"
    echo "|---|---|---|---|---|"
    while IFS='|' read -r _ name figure floor goal verdict; do
        echo "| $name | $figure | $floor | $goal | $verdict |"
    done <"$results"
} | tee build-bench/bench-table.md
missed=$(grep -c '|MISSED$' "$results" || true)
expected=0
for b in "${benchmarks[@]}"; do
    case $b in line | paint | screen | memory) expected=$((expected + 2)) ;; startup | simulation) expected=$((expected + 1)) ;; esac
done
got=$(wc -l <"$results")
if [ "$got" -lt "$expected" ]; then
    echo "Only $got of $expected figures were produced; see $log." >&2
    exit 1
fi
echo
echo "$missed of $got goals missed. Full output: $log"
[ "$missed" -eq 0 ] || status=1
exit $status
