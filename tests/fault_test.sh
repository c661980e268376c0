#!/bin/bash
# Makes each system call that a run of nesexpand makes on its own files
# fail in turn, with strace's fault injection, and checks that the run
# still keeps its promise: the right message and status, the source never
# changed, and never a partly written image under the output name.
#   fault_test.sh TOOL [RUNNER...]
# Exits 77 (skipped) where strace cannot trace the tool.
set -u
tool=$(realpath "$1")
shift
skip() { echo "faults: skipped: $1"; exit 77; }
[ $# = 0 ] || skip "strace cannot trace a tool started by $1"
command -v strace > /dev/null || skip "strace is not installed"
strace -qq -o /dev/null true 2> /dev/null || skip "strace cannot trace here"
. "$(dirname "$0")/common.sh"
# LeakSanitizer cannot run under a tracer; the other tests check for leaks.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

make_images
failures=0
fail() { echo "FAIL [$1]: $2"; failures=$((failures + 1)); }

calls=openat,read,write,close,newfstatat,unlink,truncate
cannot_open=$'Unable to open source file.\n'
cannot_read=$'Unable to read source file.\n'
cannot_create=$'Unable to create expanded ROM file.\n'
cannot_write=$'Unable to write expanded ROM file.\n'
out_of_memory=$'Out of memory.\n'

# run SETUP INJECT...: runs the tool on game.nes in a fresh folder under
# strace, with the given -e inject=... options, into $root/stdout and the
# trace into $root/trace. Only the calls on the run's two files are traced,
# and so counted by inject's when=: -P matches a path as the call spells it
# and a descriptor by the file it is open on, which /proc names in full. So
# the tool is given the full path, and nothing else the process reads (a
# sanitizer's start-up, say) can shift which call fails.
run() {
  local setup=$1 here
  shift
  enter_new_folder run && cp "$source" game.nes && eval "$setup" || exit 1
  here=$(pwd -P)
  strace -qq -s 0 -o "$root/trace" -e trace=$calls -P "$here/game.nes" -P "$here/game_expanded.nes" \
    "$@" "$tool" "$here/game.nes" > "$root/stdout" 2> "$root/stderr"
  status=$?
}

# verify_run CASE STATUS MESSAGE FILES: verify (common.sh), and that the
# run closed the output, whether or not the close failed, before removing
# it, as Windows cannot remove an open file.
verify_run() {
  verify "$@"
  awk '
    /^openat\(/ && /\/game_expanded\.nes"/ && $(NF - 1) == "=" { open[$NF] = 1 }
    /^close\(/ { fd = substr($0, 7); sub(/\).*/, "", fd); delete open[fd] }
    /^unlink\(/ { for (fd in open) early = 1 }
    END { exit !early }' "$root/trace" && fail "$1" "removed the output while it was open"
}

# calls_on_files: the calls of $root/trace that act on game.nes or the
# output, one line each: syscall, its number among the traced calls of
# that name (what when= counts), and what it acts on (source, output, or
# name for a stat by path).
calls_on_files() {
  awk '
    { name = substr($0, 1, index($0, "(") - 1); n[name]++ }
    name == "openat" && /\/game\.nes"/ { fd = $NF; file[fd] = "source"; print name, n[name], "source"; next }
    name == "openat" && /\/game_expanded\.nes"/ { fd = $NF; file[fd] = "output"; print name, n[name], "output"; next }
    name == "newfstatat" && /^newfstatat\(AT_FDCWD, "\// { print name, n[name], "name"; next }
    name == "unlink" || name == "truncate" { print name, n[name], "output"; next }
    {
      fd = substr($0, length(name) + 2); sub(/[,)].*/, "", fd)
      if (fd in file) { print name, n[name], file[fd]; if (name == "close") delete file[fd] }
    }' "$root/trace"
}

for setup in "" "echo old > game_expanded.nes"; do
  untouched="game.nes source${setup:+ game_expanded.nes f 4}"
  with=${setup:+, an old output there}
  run "$setup"
  verify_run "no fault$with" 0 "" "game.nes source game_expanded.nes expanded"
  calls_on_files > "$root/calls"
  grep -q '^write' "$root/calls" || fail "no fault$with" "the run's writes were not seen"
  while read -r call number file; do
    for error in EIO ENOMEM; do
      # What the failure must come to, by the call that fails.
      case $call:$file:$error in
        openat:*:ENOMEM | newfstatat:name:ENOMEM) want=(1 "$out_of_memory" "$untouched") ;;
        *:ENOMEM) continue ;;
        openat:source:*) want=(1 "$cannot_open" "$untouched") ;;
        read:source:* | close:source:*) want=(1 "$cannot_read" "$untouched") ;;
        newfstatat:name:* | openat:output:*) want=(1 "$cannot_create" "$untouched") ;;
        newfstatat:*) want=(0 "" "game.nes source game_expanded.nes expanded") ;;  # sizes a buffer
        write:output:* | close:output:*) want=(1 "$cannot_write" "game.nes source") ;;
        *) fail "$call $number on $file" "no expectation for this call"; continue ;;
      esac
      run "$setup" -e inject=$call:error=$error:when=$number
      verify_run "$call $number on $file fails with $error$with" "${want[@]}"
    done
  done < "$root/calls"
  # Where the folder forbids removing the partial output, it is emptied.
  for number in $(awk '$1 == "write" && $3 == "output" { print $2 }' "$root/calls"); do
    run "$setup" -e inject=write:error=ENOSPC:when=$number -e inject=unlink:error=EPERM
    verify_run "write $number fails and the output cannot be removed$with" 1 "$cannot_write" \
      "game.nes source game_expanded.nes f 0"
  done
done

# A FIFO under the output name, read by another process, stays when a
# write into it fails. Opening it for reading and writing at the end frees
# a reader that the run never met.
run "mkfifo game_expanded.nes && { cat game_expanded.nes > /dev/null & }" -e inject=write:error=EIO:when=1
[ -p game_expanded.nes ] && : 1<> game_expanded.nes
wait
verify_run "write into a FIFO fails" 1 "$cannot_write" "game.nes source game_expanded.nes p"

[ "$failures" = 0 ] || exit 1
echo "faults: every injected failure kept the contract"
