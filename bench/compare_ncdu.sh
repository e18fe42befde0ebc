#!/usr/bin/env bash
# Median wall time of scan_bench against ncdu on the same tree, warm cache, runs
# interleaved so that both see the same machine state.
#   bench/compare_ncdu.sh [RUNS] [TREE]
# The tree is generated (wide-deep, 300 000 files, 30 000 folders, seed 42) when absent.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
tree=${2:-/tmp/fegmann-bench-wide-deep}
bench=build/bench/scan_bench
[ -d "$tree" ] || "$bench" --generate wide-deep --files 300000 --folders 30000 --seed 42 "$tree"
command -v ncdu >/dev/null || { echo "ncdu is not installed (scripts/setup installs it)" >&2; exit 1; }

ncdu -0 -x -o /dev/null "$tree"; "$bench" "$tree" >/dev/null   # warm the caches
ours=(); whole=(); theirs=(); gaps=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s.%N)
  line=$("$bench" "$tree" | tail -n 1)
  end=$(date +%s.%N)
  whole+=("$(echo "$end - $start" | bc -l)")
  ours+=("$(sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$line")")
  gaps+=("$(sed -E 's/.*max_ui_gap_ms=([0-9]+).*/\1/' <<<"$line")")
  start=$(date +%s.%N)
  ncdu -0 -x -o /dev/null "$tree"
  end=$(date +%s.%N)
  theirs+=("$(echo "$end - $start" | bc -l)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
m_ours=$(median "${ours[@]}"); m_whole=$(median "${whole[@]}"); m_theirs=$(median "${theirs[@]}")
echo "last scan_bench line: $line"
echo "max_ui_gap_ms over all runs: $(printf '%s\n' "${gaps[@]}" | sort -n | tail -n 1)"
printf 'median: scan_bench=%.3f ncdu=%.3f ratio=%.3f (runs=%d)\n' "$m_ours" "$m_theirs" \
  "$(echo "$m_ours / $m_theirs" | bc -l)" "$runs"
printf 'median of whole processes: scan_bench=%.3f ncdu=%.3f ratio=%.3f\n' "$m_whole" "$m_theirs" \
  "$(echo "$m_whole / $m_theirs" | bc -l)"
