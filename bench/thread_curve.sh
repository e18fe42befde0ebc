#!/usr/bin/env bash
# Median scan time for each count of read-ahead threads, and ncdu's on the same tree,
# all runs interleaved round by round so that each count sees the same machine state.
#   bench/thread_curve.sh [--cold] [RUNS] [TREE] [COUNTS...]
# COUNTS default to 0 1 2 4 8 16 (0: the walk reads every folder itself). --cold
# empties the kernel's caches before every run (needs root), as compare_ncdu.sh does.
# Last line:
#   thread_curve: mode=M runs=R ncdu=N t0=S0 t1=S1 ... (medians in seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=warm
if [ "${1:-}" = --cold ]; then mode=cold; shift; fi
runs=${1:-5}
tree=${2:-/tmp/fegmann-bench-wide-deep}
shift $(($# < 2 ? $# : 2))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(0 1 2 4 8 16)
. bench/scan_trees.sh
if [ $mode = warm ]; then ncdu -0 -x -o /dev/null "$tree"; fi
declare -A times
for ((r = 0; r < runs; r++)); do
  for t in "${counts[@]}" ncdu; do
    prepare
    if [ "$t" = ncdu ]; then
      start=$(date +%s.%N)
      ncdu -0 -x -o /dev/null "$tree"
      end=$(date +%s.%N)
      v=$(echo "$end - $start" | bc -l)
    else
      v=$("$bench" --threads "$t" "$tree" | tail -n 1 | sed -E 's/.*seconds=([0-9.]+).*/\1/')
    fi
    times[$t]+="$v "
  done
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
m_ncdu=$(median ${times[ncdu]})
line="thread_curve: mode=$mode runs=$runs ncdu=$(printf %.3f "$m_ncdu")"
for t in "${counts[@]}"; do
  m=$(median ${times[$t]})
  printf 'threads=%s median=%.3f ratio=%.3f runs: %s\n' "$t" "$m" "$(echo "$m / $m_ncdu" | bc -l)" \
    "${times[$t]}"
  line+=" t$t=$(printf %.3f "$m")"
done
echo "ncdu runs: ${times[ncdu]}"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$line"
