#!/usr/bin/env bash
# Peak resident memory per folder node: a scan of a generated tree of 200 000
# folders against a scan of an empty folder, both through scan_bench.
#   bench/memory_per_folder.sh [FOLDERS] [TREE]
set -euo pipefail
cd "$(dirname "$0")/.."
folders=${1:-200000}
tree=${2:-/tmp/fegmann-bench-200k}
bench=build/bench/scan_bench
[ -d "$tree" ] || "$bench" --generate wide-deep --files "$folders" --folders "$folders" --seed 42 "$tree"
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
rss() { "$bench" "$1" | tail -n 1 | sed -E 's/.*peak_rss_kib=([0-9]+).*/\1/'; }
base=$(rss "$empty")
line=$("$bench" "$tree" | tail -n 1)
full=$(sed -E 's/.*peak_rss_kib=([0-9]+).*/\1/' <<<"$line")
nodes=$(sed -E 's/.*folders=([0-9]+).*/\1/' <<<"$line")
echo "empty folder: peak_rss_kib=$base"
echo "tree: $line"
printf 'bytes per folder: %.1f\n' "$(echo "($full - $base) * 1024 / $nodes" | bc -l)"
