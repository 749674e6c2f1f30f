#!/usr/bin/env bash
# Fuzz smoke test: builds the fuzz preset and runs every fuzz target for
# FUZZ_SECONDS (default 40) on a copy of its corpus, two at a time. Fails on
# any finding: a crash, a sanitizer report, a failed check, a leak or a
# timeout. Findings are kept under build/fuzz/findings/ with their inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-40}

cmake --workflow --preset fuzz

work=build/fuzz/smoke
findings=build/fuzz/findings
rm -rf "$work" "$findings"
mkdir -p "$work" "$findings"

run_one() {
  local name=$1 exe=$2 corpus=$3 dict=$4 seconds=$5 work=$6 findings=$7
  mkdir -p "$work/$name"
  cp -R "$corpus/." "$work/$name/"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$findings/$name-")
  [[ -n "$dict" ]] && args+=(-dict="$dict")
  if "$exe" "${args[@]}" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz $name: ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" |
      grep -o '[0-9]*$') runs, $(grep -o 'cov: [0-9]*' "$work/$name.log" | tail -1))"
  else
    echo "fuzz $name: FINDING (log: $work/$name.log, input: $findings/$name-*)"
    grep -E 'ERROR|check failed|runtime error|SUMMARY' "$work/$name.log" | head -20 || true
    return 1
  fi
}
export -f run_one

# One line per target: name, executable, corpus, dictionary (tab-separated).
status=0
while IFS=$'\t' read -r name exe corpus dict; do
  printf '%s\0' "$name" "$exe" "$corpus" "${dict:-}" "$seconds" "$work" "$findings"
done < build/fuzz/fuzzers.txt |
  xargs -0 -n 7 -P 2 bash -c 'run_one "$@"' _ || status=1
if ((status)); then
  echo "fuzz smoke: findings, see above"
  exit 1
fi
echo "fuzz smoke: no findings"
