#!/usr/bin/env bash
# Median wall time of scan_bench against ncdu on the same tree, runs interleaved so
# that both see the same machine state.
#   bench/compare_ncdu.sh [--cold] [--threads N] [RUNS] [TREE]
# Warm by default: each runs once before the timed runs. --cold empties the kernel's
# caches (sync; echo 3 > /proc/sys/vm/drop_caches, which needs root) before every run
# of either. --threads is handed to scan_bench (its read-ahead threads).
# The tree is generated (wide-deep, 300 000 files, 30 000 folders, seed 42) when absent.
# Last line:
#   compare_ncdu: mode=M runs=R scan_bench=S ncdu=N ratio=Q whole_ratio=W max_ui_gap_ms=G
set -euo pipefail
cd "$(dirname "$0")/.."
mode=warm
threads=()
while [ $# -gt 0 ]; do
  case $1 in
    --cold) mode=cold; shift ;;
    --threads) threads=(--threads "$2"); shift 2 ;;
    *) break ;;
  esac
done
runs=${1:-9}
tree=${2:-/tmp/fegmann-bench-wide-deep}
. bench/scan_trees.sh
command -v ncdu >/dev/null || { echo "ncdu is not installed (scripts/setup installs it)" >&2; exit 1; }
if [ $mode = warm ]; then
  ncdu -0 -x -o /dev/null "$tree"; "$bench" "${threads[@]}" "$tree" >/dev/null
fi
ours=(); whole=(); theirs=(); gaps=()
for ((i = 0; i < runs; i++)); do
  prepare
  start=$(date +%s.%N)
  line=$("$bench" "${threads[@]}" "$tree" | tail -n 1)
  end=$(date +%s.%N)
  whole+=("$(echo "$end - $start" | bc -l)")
  ours+=("$(sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$line")")
  gaps+=("$(sed -E 's/.*max_ui_gap_ms=([0-9]+).*/\1/' <<<"$line")")
  prepare
  start=$(date +%s.%N)
  ncdu -0 -x -o /dev/null "$tree"
  end=$(date +%s.%N)
  theirs+=("$(echo "$end - $start" | bc -l)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
m_ours=$(median "${ours[@]}"); m_whole=$(median "${whole[@]}"); m_theirs=$(median "${theirs[@]}")
max_gap=$(printf '%s\n' "${gaps[@]}" | sort -n | tail -n 1)
echo "last scan_bench line: $line"
echo "scan_bench seconds: ${ours[*]}"
echo "ncdu seconds: ${theirs[*]}"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'compare_ncdu: mode=%s runs=%d scan_bench=%.3f ncdu=%.3f ratio=%.3f whole_ratio=%.3f max_ui_gap_ms=%s\n' \
  $mode "$runs" "$m_ours" "$m_theirs" "$(echo "$m_ours / $m_theirs" | bc -l)" \
  "$(echo "$m_whole / $m_theirs" | bc -l)" "$max_gap"
