#!/bin/bash
# Benchmarks one successful nesexpand run against cp of the same 24,592-byte
# image and checks the targets for the Release build:
#   instructions per run (callgrind)   at most 75,000
#   median wall time (hyperfine)       at most 0.55 times that of cp
#   peak resident memory (GNU time)    at most half of cp's
# Not a test: timings depend on the machine. Run as root on Debian, or with
# hyperfine, valgrind and time installed.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for pair in hyperfine:hyperfine valgrind:valgrind /usr/bin/time:time; do
  command -v "${pair%%:*}" > /dev/null || need+=("${pair##*:}")
done
if [ ${#need[@]} -gt 0 ]; then apt-get update -qq && apt-get install -y -qq "${need[@]}"; fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build build-bench --target nesexpand > /dev/null
tool=$PWD/build-bench/nesexpand
# In memory where the system has it: on a disk, freeing the blocks of the
# previous output at each truncation costs more than the whole run (0.3 ms
# on ext4 with discard), and it grows with the output, which is 40 KiB
# here against cp's 24 KiB; the targets are about the tool's own work.
work=$(mktemp -d -p "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT
cp examples/sample.nes "$work/game.nes"
cd "$work"

# Instructions that one run of the command executes, under callgrind.
count() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
instructions=$(count "$tool" game.nes)
cp_instructions=$(count cp game.nes copy.nes)

hyperfine -N --warmup 100 --runs 2000 --export-csv times.csv \
  "$tool game.nes" "cp game.nes copy.nes" > /dev/null 2> hyperfine.log || { cat hyperfine.log; exit 1; }
# times.csv: command,mean,stddev,median,...; row 2 is nesexpand, row 3 is cp.
median() { sed -n "$1p" times.csv | cut -d, -f4; }
time_ratio=$(awk -v a="$(median 2)" -v b="$(median 3)" 'BEGIN { printf "%.2f", a / b }')

# Median of 51 peak resident set sizes, in KiB.
peak() {
  for _ in $(seq 51); do /usr/bin/time -f %M "$@" 2>&1 > /dev/null; done | sort -n | sed -n 26p
}
memory=$(peak "$tool" game.nes)
cp_memory=$(peak cp game.nes copy.nes)

max_instructions=75000
max_time_ratio=0.55
max_memory_ratio=0.5
status=0
check() {  # check LABEL MEASURED TARGET OK
  printf '%-28s %-14s %-22s %s\n' "$1" "$2" "$3" "$([ "$4" = 1 ] && echo met || echo MISSED)"
  [ "$4" = 1 ] || status=1
}
printf '%-28s %-14s %-22s %s\n' measure nesexpand target result
check "instructions per run" "$instructions" "<= $max_instructions (cp: $cp_instructions)" \
  "$((instructions <= max_instructions))"
check "median time / cp's" "$time_ratio" \
  "<= $max_time_ratio ($(median 2 | awk '{printf "%.0f us", $1 * 1e6}'))" \
  "$(awk -v r="$time_ratio" -v max="$max_time_ratio" 'BEGIN { print (r <= max) }')"
check "peak memory, KiB" "$memory" "<= $max_memory_ratio x $cp_memory (cp)" \
  "$(awk -v m="$memory" -v c="$cp_memory" -v max="$max_memory_ratio" 'BEGIN { print (m <= c * max) }')"
exit $status
