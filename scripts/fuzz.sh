#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, ASan and UBSan (build/fuzz) and runs them.
#   scripts/fuzz.sh --ci                  every target for a bounded time (STUB_FUZZ_SECONDS
#                                         each, default 10), from its seeds; fails on a finding
#   scripts/fuzz.sh [SECONDS] [TARGET...] longer runs (default 300 s each, every target) that
#                                         keep their corpus in build/fuzz/corpus and end with
#                                         what each target covered, per source file
#   scripts/fuzz.sh --seeds               rewrites the checked-in seeds (tests/fuzz/corpus)
#                                         with the package writer (fuzz_seeds)
# A finding is kept as build/fuzz/findings/TARGET-crash-... (or timeout-, oom-); replay it
# with build/fuzz/fuzz_TARGET FILE. STUB_FUZZ_FLAGS adds libFuzzer flags, e.g.
# "-len_control=0" to let inputs reach their largest size at once, "-jobs=2".
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
out=build/fuzz

# Input size per target: large enough for slow paths to show within the time-out below.
max_len() {
  case "$1" in
    package_reader | extraction | language_block) echo 1048576 ;;
    *) echo 65536 ;;
  esac
}
# Seconds one input may take before it counts as a finding (a hang or a slow path).
per_input_timeout=10

# The build's output is shown only when it fails.
build() {
  mkdir -p "$out"
  if [ ! -f "$out/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DSTUB_TARGET=fuzz -DCMAKE_BUILD_TYPE=None \
      -DCMAKE_CXX_FLAGS="-O1 -g" >"$out/build.log" 2>&1 || { cat "$out/build.log"; exit 1; }
  fi
  cmake --build "$out" -- -j2 >"$out/build.log" 2>&1 || { cat "$out/build.log"; exit 1; }
}

targets() { ls tests/fuzz/corpus; }

# run TARGET SECONDS WORK_CORPUS: new inputs go to WORK_CORPUS, the seeds are read only.
run() {
  local t=$1 seconds=$2 work=$3
  local dict=()
  [ -f "tests/fuzz/dict/$t.dict" ] && dict=(-dict="tests/fuzz/dict/$t.dict")
  mkdir -p "$work" "$out/findings"
  "$out/fuzz_$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout="$per_input_timeout" \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 "${dict[@]}" ${STUB_FUZZ_FLAGS:-} \
    -artifact_prefix="$out/findings/$t-" "$work" "tests/fuzz/corpus/$t" >"$out/$t.log" 2>&1
}

# The last status line of a run: "cov: N ft: N corp: N/size exec/s: N ...".
summary() { grep -E '^#[0-9]+' "$out/$1.log" | tail -1 | sed -E 's/^#([0-9]+)[[:space:]]+[A-Z]+[[:space:]]+/\1 runs  /'; }

# Edges covered per source file of src/, over every input of the corpora.
coverage() {
  local t=$1
  "$out/fuzz_$t" -runs=0 -print_coverage=1 -max_len="$(max_len "$t")" "$out/corpus/$t" "tests/fuzz/corpus/$t" 2>&1 |
    awk -v root="$here/" '
      /^(COVERED|UNCOVERED)_FUNC:/ {
        file = $NF; sub(/:[0-9]+$/, "", file); sub(root, "", file)
        if (file !~ /^src\//) next
        split($5, e, "/"); covered[file] += e[1]; total[file] += e[2]
      }
      END { for (f in total) if (covered[f] > 0) printf "    %-40s %5d of %5d edges\n", f, covered[f], total[f] }' |
    sort
}

case "${1:-}" in
  --seeds)
    build
    cmake --build "$out" --target fuzz_seeds >/dev/null
    "$out/fuzz_seeds" tests/fuzz/corpus
    echo "seeds written: $(find tests/fuzz/corpus -type f | wc -l) files"
    exit 0
    ;;
  --ci)
    build
    seconds=${STUB_FUZZ_SECONDS:-10}
    failed=()
    for t in $(targets); do
      work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-$t.XXXXXX")
      if run "$t" "$seconds" "$work"; then
        echo "fuzz $t: $(summary "$t")"
      else
        echo "fuzz $t: FINDING (log $out/$t.log)"
        grep -E 'ERROR|broken rule|SUMMARY|Test unit written' "$out/$t.log" | head -5 | sed 's/^/    /'
        failed+=("$t")
      fi
      rm -rf "$work"
    done
    [ ${#failed[@]} -eq 0 ] || { echo "fuzz findings in: ${failed[*]}"; exit 1; }
    exit 0
    ;;
esac

seconds=${1:-300}
[ $# -gt 0 ] && shift
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || mapfile -t chosen < <(targets)
build
status=0
for t in "${chosen[@]}"; do
  if run "$t" "$seconds" "$out/corpus/$t"; then
    echo "fuzz $t: $(summary "$t")"
  else
    echo "fuzz $t: FINDING (log $out/$t.log)"
    status=1
  fi
  coverage "$t"
done
exit $status
