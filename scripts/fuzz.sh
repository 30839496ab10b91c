#!/usr/bin/env bash
# Runs the fuzz targets one after the other, each for SECONDS: its corpus in fuzz/corpus grows,
# then is minimised (-merge=1) back into fuzz/corpus. Prints per target the executions, their
# rate and the final cov and ft figures. Findings (crash, leak, timeout, out-of-memory) are kept
# under fuzz/findings/ and make the script fail at the end.
#   fuzz.sh BUILD_DIR [SECONDS [TARGET...]]     every target of fuzz/ when none is named
set -uo pipefail

build=${1:?usage: fuzz.sh BUILD_DIR [SECONDS [TARGET...]]}
seconds=${2:-300}
shift $(($# < 2 ? $# : 2))
root=$(cd "$(dirname "$0")/.." && pwd)
corpora=$root/fuzz/corpus
findings=$root/fuzz/findings
logs=$build/fuzz/logs
# Corpus files stay small enough to commit.
max_len=65536
options=(-rss_limit_mb=2048 -timeout=30 -max_len=$max_len)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" _fuzz.cpp)"); done
fi
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]/#/fuzz_}" || exit 1
mkdir -p "$findings" "$logs"

# The last "cov: N ft: N" of a run, and a stat line's value.
figure() { grep -o "$1: [0-9]*" "$2" | tail -n 1 | grep -o '[0-9]*$'; }
stat() { grep -o "^stat::$1: *[0-9]*" "$2" | grep -o '[0-9]*$'; }

summary=$(printf '%-28s %12s %8s %6s %7s %7s  %s' target executions exec/s cov ft corpus finding)
failed=0
for name in "${targets[@]}"; do
  binary=$build/fuzz/fuzz_$name
  grown=$(mktemp -d)
  merged=$(mktemp -d)
  mkdir -p "$corpora/$name"
  before=$(ls "$findings" | grep -c "^$name-")
  echo "fuzz: $name for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=1 "$binary" "${options[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/$name-" "$grown" "$corpora/$name" \
    > "$logs/$name.log" 2>&1
  "$binary" "${options[@]}" -merge=1 "$merged" "$corpora/$name" "$grown" > "$logs/$name.merge.log" 2>&1
  find "$merged" -type f -size +${max_len}c -delete
  if [ -n "$(ls -A "$merged")" ]; then
    rm -f "$corpora/$name"/*
    cp "$merged"/* "$corpora/$name"/
  fi
  rm -rf "$grown" "$merged"

  finding=-
  if [ "$(ls "$findings" | grep -c "^$name-")" -gt "$before" ]; then
    finding=$(ls -t "$findings" | grep "^$name-" | head -n 1)
    failed=1
  fi
  line=$(printf '%-28s %12s %8s %6s %7s %7s  %s' "$name" "$(stat number_of_executed_units "$logs/$name.log")" \
    "$(stat average_exec_per_sec "$logs/$name.log")" "$(figure cov "$logs/$name.log")" \
    "$(figure ft "$logs/$name.log")" "$(ls "$corpora/$name" | wc -l)" "$finding")
  echo "$line"
  summary+=$'\n'$line
done
echo
echo "$summary"
echo "logs in $logs"
exit $failed
