#!/usr/bin/env bash
# Fuzzing with the libFuzzer targets of fuzz/ (built with clang, ASan and
# UBSan in build-fuzz).
#
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
#       runs one target for SECONDS on one core; new inputs go to
#       build-fuzz/corpus/TARGET (seeded from fuzz/corpus/TARGET), findings
#       to build-fuzz/findings/TARGET. Add every finding, once fixed, to
#       fuzz/corpus/TARGET.
#   tools/fuzz.sh --check [SECONDS]
#       the regression check of CI: every target over its corpus, then each
#       for SECONDS (20 by default), two at a time; fails on any finding.
#   tools/fuzz.sh --list
#       the targets.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KEL_FUZZ_BUILD:-build-fuzz}
jobs=${KEL_JOBS:-2}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/kel-ccache}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

targets() {
  ls fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//'
}

build_targets() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKEL_FUZZ=ON -DKEL_BUILD_TESTS=OFF -DKEL_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target "$@"
}

# fuzz TARGET SECONDS CORPUS [options...]: fuzz into CORPUS (seeded from the
# target's corpus in the tree); findings go to build-fuzz/findings/TARGET.
fuzz() {
  local target=$1 seconds=$2 corpus=$3
  shift 3
  local findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  "$build/bin/$target" -dict=fuzz/kel.dict -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$@" "$corpus" "fuzz/corpus/$target"
}

# reap PID:TARGET: waits for a check run; on a finding shows its log.
reap() {
  local entry=$1 target=${1#*:}
  wait "${entry%%:*}" && return 0
  echo "fuzz: $target found a failure:" >&2
  tail -40 "$build/$target.check.log" >&2
  return 1
}

case "${1:-}" in
--list)
  targets
  ;;
--check)
  seconds=${2:-20}
  mapfile -t all < <(targets)
  build_targets kel_fuzzers
  started=$(date +%s)
  # Every input of the corpora, once: what ever failed must not fail again.
  for t in "${all[@]}"; do
    "$build/bin/$t" -runs=0 "fuzz/corpus/$t" 2>"$build/$t.regression.log" ||
      { cat "$build/$t.regression.log" >&2; echo "fuzz: $t fails on its corpus" >&2; exit 1; }
  done
  # A short run of each, two at a time, into a scratch corpus.
  status=0
  pids=()
  for t in "${all[@]}"; do
    rm -rf "$build/corpus/$t.check"
    fuzz "$t" "$seconds" "$build/corpus/$t.check" >"$build/$t.check.log" 2>&1 &
    pids+=("$!:$t")
    if [ ${#pids[@]} -ge "$jobs" ]; then
      entry=${pids[0]}
      pids=("${pids[@]:1}")
      reap "$entry" || status=1
    fi
  done
  for entry in "${pids[@]}"; do
    reap "$entry" || status=1
  done
  for t in "${all[@]}"; do
    echo "fuzz: $t $(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$build/$t.check.log" | tail -1)," \
      "$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$build/$t.check.log" | grep -Eo '[0-9]+' || echo '?') runs"
  done
  echo "fuzz: checked ${#all[@]} targets in $(($(date +%s) - started)) s"
  exit $status
  ;;
"" | -*)
  echo "usage: tools/fuzz.sh TARGET SECONDS [libFuzzer options...] | --check [SECONDS] | --list" >&2
  exit 2
  ;;
*)
  target=$1
  seconds=${2:-600}
  shift $(($# >= 2 ? 2 : 1))
  if [ ! -f "fuzz/$target.cpp" ]; then
    echo "fuzz: no target $target (tools/fuzz.sh --list)" >&2
    exit 2
  fi
  build_targets "$target"
  fuzz "$target" "$seconds" "$build/corpus/$target" "$@"
  ;;
esac
