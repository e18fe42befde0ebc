#!/usr/bin/env bash
# Trees that once made the walk lose or repeat data, each scanned with scan_bench and
# checked against the files and bytes that find counts:
#   - a chain of 1200 folders, deeper than the tree's 1000 levels;
#   - a folder bind-mounted inside itself (needs root; skipped otherwise);
#   - a 70-level tree in which a folder deep down is renamed out of the tree and back
#     in a loop during SCANS scans (it holds no files, so find's totals without the
#     loop are right whatever the scan meets).
#   bench/hostile_trees.sh [SCANS] [BENCH]
# The last line reads `hostile: deep=ok|FAIL bind=ok|FAIL|skipped moved=GOOD/SCANS`.
set -euo pipefail
cd "$(dirname "$0")/.."
scans=${1:-30}
bench=${2:-build/bench/scan_bench}
work=$(mktemp -d)
mover_pid=
cleanup() {
  [ -n "$mover_pid" ] && kill "$mover_pid" 2>/dev/null && wait "$mover_pid" 2>/dev/null
  mountpoint -q "$work/bind/a/b/loop" 2>/dev/null && umount -l "$work/bind/a/b/loop"
  rm -rf "$work"
}
trap cleanup EXIT

# "files=N bytes=B" as find counts them (a loop find meets is reported and skipped).
find_totals() {
  find "$1" ! -type d -printf '%s\n' 2>/dev/null | awk '{n++; b+=$1} END {printf "files=%d bytes=%d", n, b}'
}
scan_totals() {
  "$bench" "$1" | tail -n 1 | sed -E 's/.* (files=[0-9]+ bytes=[0-9]+) .*/\1/'
}
check() { # NAME TREE
  local want got
  want=$(find_totals "$2")
  got=$(scan_totals "$2")
  echo "$1: find $want, scan_bench $got" >&2
  [ "$want" = "$got" ] && echo ok || echo FAIL
}

"$bench" --generate deep --files 1200 --folders 1200 --seed 1 "$work/deep" >/dev/null
deep=$(check "1200-level chain" "$work/deep")

bind=skipped
mkdir -p "$work/bind/a/b/loop"
truncate -s 100 "$work/bind/a/f"
truncate -s 200 "$work/bind/a/b/g"
if [ "$(id -u)" -eq 0 ] && mount --bind "$work/bind/a" "$work/bind/a/b/loop" 2>/dev/null; then
  bind=$(check "folder bind-mounted inside itself" "$work/bind")
  umount -l "$work/bind/a/b/loop"
fi

# 66 levels, then twelve siblings with 1 MiB each and a folder "mover" with 300
# empty folders below it; the mover goes to "outside" and back as fast as it can.
parent="$work/moved/tree"
for ((i = 0; i < 66; i++)); do parent="$parent/l$i"; done
mkdir -p "$parent" "$work/moved/outside"
for ((i = 0; i < 12; i++)); do
  mkdir "$parent/s$i"
  truncate -s 1M "$parent/s$i/data"
done
mkdir -p "$parent/mover/x"
for ((i = 0; i < 300; i++)); do mkdir "$parent/mover/x/e$i"; done
want=$(find_totals "$work/moved/tree")
( while :; do
    mv "$parent/mover" "$work/moved/outside/mover" 2>/dev/null
    mv "$work/moved/outside/mover" "$parent/mover" 2>/dev/null
  done ) &
mover_pid=$!
good=0
for ((i = 0; i < scans; i++)); do
  got=$(scan_totals "$work/moved/tree")
  if [ "$got" = "$want" ]; then good=$((good + 1)); else echo "scan $i: $got" >&2; fi
done
kill "$mover_pid"
wait "$mover_pid" 2>/dev/null || true
mover_pid=
echo "70-level tree, folder renamed in a loop: find $want, $good of $scans scans equal" >&2
echo "hostile: deep=$deep bind=$bind moved=$good/$scans"
