# Shared by the scripts that time scan_bench against ncdu: the benchmark tree, made
# when absent, and the cold mode's emptying of the kernel's caches. Sourced with
# `mode` (warm or cold) and `tree` set; defines `bench` and `prepare`.
bench=build/bench/scan_bench
[ -d "$tree" ] || "$bench" --generate wide-deep --files 300000 --folders 30000 --seed 42 "$tree"
if [ "$mode" = cold ] && ! [ -w /proc/sys/vm/drop_caches ]; then
  echo "--cold empties the kernel's caches, which needs root" >&2
  exit 1
fi

# Before every timed run: nothing warm, or the caches emptied.
prepare() {
  if [ "$mode" = cold ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
}
