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

cannot_open=$'Unable to open source file.\n'
cannot_read=$'Unable to read source file.\n'
cannot_create=$'Unable to create expanded ROM file.\n'
cannot_write=$'Unable to write expanded ROM file.\n'
out_of_memory=$'Out of memory.\n'

# strace traces every call that takes a file name or a descriptor (its
# classes %file and %desc), so that each call this architecture and C
# library make on the files is seen, under its name here. This table sorts
# the names by what the call does, with every name Linux gives it on some
# architecture or some C library uses: arm64 has no unlink, only unlinkat;
# musl opens with open, reads with readv and writes with writev. A name not
# in it stands for itself, and fails the test until the expectations cover it.
operations="open:open,openat,openat2,creat \
read:read,readv,pread64,preadv,preadv2 \
write:write,writev,pwrite64,pwritev,pwritev2 \
close:close \
dup:dup,dup2,dup3 \
control:fcntl,fcntl64 \
stat:stat,lstat,fstat,stat64,lstat64,fstat64,newfstatat,fstatat64,statx,oldstat,oldlstat,oldfstat \
remove:unlink,unlinkat \
truncate:truncate,truncate64,ftruncate,ftruncate64"

# names OPERATION: the table's names for OPERATION as strace takes them,
# each marked with ? so that a name this architecture lacks is no error.
names() { printf '%s\n' $operations | sed -n "s/^$1:/?/p" | sed 's/,/,?/g'; }

# run SETUP INJECT...: runs the tool on game.nes in a fresh folder under
# strace, with the given -e inject=... options, into $root/stdout and the
# trace into $root/trace. Only the calls on the run's two files are traced,
# and so counted by inject's when=, which counts each name apart: -P
# matches a path as the call spells it and a descriptor by the file it is
# open on, which /proc names in full. So the tool is given the full path,
# and nothing else the process reads (a sanitizer's start-up, say) can
# shift which call fails.
run() {
  local setup=$1 here
  shift
  enter_new_folder run && cp "$source" game.nes && eval "$setup" || exit 1
  here=$(pwd -P)
  strace -qq -s 0 -o "$root/trace" -e trace=%file,%desc -P "$here/game.nes" -P "$here/game_expanded.nes" \
    "$@" "$tool" "$here/game.nes" > "$root/stdout" 2> "$root/stderr"
  status=$?
}

# calls: the calls of $root/trace, one line each: the operation, the
# call's name, its number among the traced calls of that name (what when=
# counts), what it acts on (source or output; name for a stat by path,
# which looks at either), and its outcome (done, failed, or injected by
# strace). An fcntl that duplicates a descriptor counts as a dup, and the
# new descriptor acts on the same file as the old.
calls() {
  awk -v operations="$operations" '
    BEGIN {
      split(operations, entries, " ")
      for (e in entries) {
        split(entries[e], pair, ":"); split(pair[2], spellings, ",")
        for (s in spellings) operation[spellings[s]] = pair[1]
      }
    }
    !/^[a-z0-9_]+\(/ { next }  # the exit, a signal
    {
      name = substr($0, 1, index($0, "(") - 1); n[name]++
      what = name in operation ? operation[name] : name
      if (what == "control" && /F_DUPFD/) what = "dup"
      outcome = / \(INJECTED\)$/ ? "injected" : / = -1 / ? "failed" : "done"
      # The first string is the path of a call by name; with -s 0 the
      # data of a read or write shows as "".
      path = match($0, /"[^"]*"/) ? substr($0, RSTART + 1, RLENGTH - 2) : ""
      if (path != "") {
        file = what == "stat" ? "name" : path ~ /\/game\.nes$/ ? "source" : "output"
        if (what == "open" && outcome == "done") on[$NF] = file
      } else {
        fd = substr($0, length(name) + 2); sub(/[,)].*/, "", fd)
        file = fd in on ? on[fd] : "descriptor" fd
        if (what == "close") delete on[fd]
        if (what == "dup" && outcome == "done") on[$NF] = file
      }
      print what, name, n[name], file, outcome
    }' "$root/trace"
}

# verify_run CASE STATUS MESSAGE FILES INJECTED: verify (common.sh); that
# strace failed the calls INJECTED, a pattern of calls' lines without
# their outcome joined by "; ", and no other, so that a case whose fault
# never happened fails instead of passing; and that the run closed every
# descriptor of the output, whether or not the close failed, before
# removing it by name.
verify_run() {
  local injected
  verify "${@:1:4}"
  injected=$(calls | awk '
    $5 == "injected" { printf "%s%s %s %s %s", sep, $1, $2, $3, $4; sep = "; " }
    ($1 == "open" || $1 == "dup") && $4 == "output" && $5 == "done" { open++ }
    $1 == "close" && $4 == "output" { open-- }
    $1 == "remove" && open > 0 { early = 1 }
    END { exit early }') || fail "$1" "removed the output while it was open"
  # shellcheck disable=SC2053  # $5 is a pattern
  [[ $injected == $5 ]] || fail "$1" "strace failed '${injected:-no call}', expected '${5:-no call}'"
}

for setup in "" "echo old > game_expanded.nes"; do
  untouched="game.nes source${setup:+ game_expanded.nes f 4}"
  # A file that the run made stays, empty, where its id cannot be had.
  made=${setup:+$untouched}
  made=${made:-game.nes source game_expanded.nes f 0}
  with=${setup:+, an old output there}
  run "$setup"
  verify_run "no fault$with" 0 "" "game.nes source game_expanded.nes expanded" ""
  calls > "$root/calls"
  # Each step of the run must be there to fail.
  for step in "open source" "read source" "stat source" "close source" "open output" "stat output" \
              "dup output" "truncate output" "write output" "close output"; do
    awk '{ print $1, $4 }' "$root/calls" | grep -qx "$step" ||
      fail "no fault$with" "the trace shows no $step, so none was made to fail"
  done
  while read -r operation call number file _; do
    for error in EIO ENOMEM; do
      # What the failure must come to, by the call that fails.
      case $operation:$file:$error in
        open:*:ENOMEM | stat:source:ENOMEM) want=(1 "$out_of_memory" "$untouched") ;;
        stat:output:ENOMEM) want=(1 "$out_of_memory" "$made") ;;
        *:ENOMEM) continue ;;
        open:source:*) want=(1 "$cannot_open" "$untouched") ;;
        read:source:* | close:source:*) want=(1 "$cannot_read" "$untouched") ;;
        # Where either file's id cannot be had, or the output's stream, or
        # its truncation fails, nothing is written.
        stat:source:* | open:output:* | dup:output:* | control:output:* | truncate:output:*)
          want=(1 "$cannot_create" "$untouched") ;;
        stat:output:*) want=(1 "$cannot_create" "$made") ;;
        # Asking whether the output is a terminal (musl).
        ioctl:output:*) want=(0 "" "game.nes source game_expanded.nes expanded") ;;
        write:output:* | close:output:*) want=(1 "$cannot_write" "game.nes source") ;;
        *) fail "$call $number on $file" "no expectation for this call"; continue ;;
      esac
      run "$setup" -e inject=$call:error=$error:when=$number
      verify_run "$call $number on $file fails with $error$with" "${want[@]}" "$operation $call $number $file"
    done
  done < "$root/calls"
  # Where the folder forbids removing the partial output, it is emptied.
  while read -r call number; do
    run "$setup" -e inject=$call:error=ENOSPC:when=$number -e inject="$(names remove)":error=EPERM
    verify_run "$call $number fails and the output cannot be removed$with" 1 "$cannot_write" \
      "game.nes source game_expanded.nes f 0" "write $call $number output; remove * 1 output"
  done < <(awk '$1 == "write" && $4 == "output" { print $2, $3 }' "$root/calls")
done

# A FIFO under the output name, read by another process, stays when a
# write into it fails. Opening it for reading and writing at the end frees
# a reader that the run never met.
write=$(awk '$1 == "write" { print $2; exit }' "$root/calls")
run "mkfifo game_expanded.nes && { cat game_expanded.nes > /dev/null & }" -e inject=$write:error=EIO:when=1
[ -p game_expanded.nes ] && : 1<> game_expanded.nes
wait
verify_run "write into a FIFO fails" 1 "$cannot_write" "game.nes source game_expanded.nes p" "write $write 1 output"

[ "$failures" = 0 ] || exit 1
echo "faults: every injected failure kept the contract"
