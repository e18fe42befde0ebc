#!/usr/bin/env bash
# Copy speed against cp -a on one file system: median seconds of RUNS copies of the same
# tree by `ops_bench --copy` and by `cp -a`, interleaved so that both see the same cache
# and load. The tree (1 GiB in 10 000 files by default) is made once when missing.
#   bench/compare_cp.sh [RUNS] [TREE] [BUILD]
set -euo pipefail
runs=${1:-5}
tree=${2:-/var/tmp/fegmann-copy-tree}
build=${3:-build}
bench=$build/bench/ops_bench
[ -d "$tree" ] || "$bench" --generate "$tree" --files 10000 --bytes 1073741824 >/dev/null
out=$(mktemp -d "$(dirname "$tree")/fegmann-copy-out.XXXXXX")
trap 'rm -rf "$out"' EXIT
ops=() cp=()
for ((i = 0; i < runs; i++)); do
  mkdir "$out/ops" "$out/cp"
  t0=$(date +%s.%N); "$bench" --copy "$tree" "$out/ops" >"$out/last.txt"; t1=$(date +%s.%N)
  cp -a "$tree" "$out/cp/"; t2=$(date +%s.%N)
  ops+=("$(awk "BEGIN{print $t1 - $t0}")") cp+=("$(awk "BEGIN{print $t2 - $t1}")")
  rm -rf "$out/ops" "$out/cp"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ops[@]}") mc=$(median "${cp[@]}")
tail -2 "$out/last.txt"
echo "runs: ops=${ops[*]} cp=${cp[*]}"
printf 'compare_cp: runs=%d ops_seconds=%.3f cp_seconds=%.3f ratio=%.2f\n' "$runs" "$mo" "$mc" \
  "$(awk "BEGIN{print $mo / $mc}")"
