#!/bin/bash
# Runs the nesexpand binary, each case in a fresh temporary folder, and
# checks what it prints, its exit status and the files it leaves.
#   cli_test.sh [--windows] [--locale LOCALE] [--objdump OBJDUMP] [--holder HOLDER] [--no-memory TOOL2] TOOL [RUNNER...]
# --windows: the tool is a Windows build, whose messages end in CRLF.
# --locale: a UTF-8 locale to run in, from which Wine takes the code pages
# of the Windows programs; exits 77 (skipped) where it is not generated.
# --objdump: a program that lists a Windows build's imports.
# --holder: a Windows program that holds a file open (windows/holder.cc).
# --no-memory: the tool built with no_memory.cc, whose allocations can fail.
# RUNNER: a command that starts the tool, such as wine or qemu-aarch64.
set -u
export LC_ALL=C.UTF-8
eol=$'\n'
windows=
no_memory=
objdump=
holder=
locale=
while [ $# -gt 0 ]; do
  case $1 in
    --windows) windows=yes eol=$'\r\n'; shift ;;
    --locale)
      [ "$(LC_ALL=$2 locale charmap 2> /dev/null)" = UTF-8 ] ||
        { echo "cli: skipped: the locale $2 is not generated"; exit 77; }
      export LC_ALL=$2; locale=$2; shift 2 ;;
    --objdump) objdump=$2; shift 2 ;;
    --holder) holder=$2; shift 2 ;;
    --no-memory) no_memory=$2; shift 2 ;;
    *) break ;;
  esac
done
. "$(dirname "$0")/common.sh"
tool=$(absolute "$1")
shift
run=("$@" "$tool")
[ -n "$no_memory" ] && no_memory=$(absolute "$no_memory")

make_images
skip() { echo "cli: skipped [$1]: $2"; }

# check CASE SETUP STATUS MESSAGE FILES COMMAND...: in a fresh folder, runs
# SETUP, then COMMAND, and verifies (common.sh) what it did.
check() {
  local case=$1 setup=$2
  shift 2
  enter_new_folder case && eval "$setup" || exit 1
  "${@:4}" > "$root/stdout" 2> "$root/stderr"
  status=$?
  verify "$case" "${@:1:3}"
}

full_source="cp \"\$source\" game.nes"
old_output="echo old > game_expanded.nes"  # 4 bytes, which a failed run must leave alone
cannot_open="Unable to open source file.$eol"
cannot_write="Unable to write expanded ROM file.$eol"
same_file="Source file and expanded ROM file are the same file.$eol"
direct=$([ ${#run[@]} = 1 ] && echo yes)

# keep_wine_server RUNNER...: starts a Windows program that waits until this
# test ends, so that Wine's server for RUNNER's prefix keeps running till
# then: no run can start one under a file-size limit (see limited), and no
# run waits for one to start.
keep_wine_server() {
  local started
  exec {waiting}< <(exec "$@" cmd /c "echo started& set /p x=" 2> /dev/null \
                    < <(exec tail --pid=$$ -f /dev/null))
  read -r -t 300 -u "$waiting" started || fail "Wine" "$* started nothing"
}
[ -n "$windows" ] && keep_wine_server "${run[@]:0:${#run[@]}-1}"

# The usage line names the tool as the system passed it. A Windows runner
# passes a Windows path of its own making (Wine's drive Z:, say), so there
# the name printed is taken as it comes, if it ends in the tool's file name.
argv0=$tool
if [ -n "$windows" ]; then
  argv0=$("${run[@]}" < /dev/null | sed -n 's/^usage:  \(.*\) <srcfile>\r$/\1/p')
  [ "${argv0##*[\\/]}" = "${tool##*/}" ] || fail "no argument" "the usage line names '$argv0', not ${tool##*/}"
fi
check "no argument" "" 1 "usage:  $argv0 <srcfile>$eol" "" "${run[@]}"
if [ -z "$direct" ]; then
  skip "no argument 0 either" "a runner always passes argument 0"
elif ! command -v perl > /dev/null; then
  skip "no argument 0 either" "perl, which starts the tool without one, is not installed"
else
  # Linux since 5.18 passes an empty argument 0 instead; the tool's own
  # name stands in for either.
  check "no argument 0 either" "" 1 "usage:  nesexpand <srcfile>$eol" "" \
    perl -e 'exec {$ARGV[0]} ()' "$tool"
fi
check "missing source" "$old_output" 1 "$cannot_open" "game_expanded.nes f 4" "${run[@]}" game.nes
check "empty source name" "" 1 "$cannot_open" "" "${run[@]}" ""
check "directory as source" "mkdir game.nes; $old_output" 1 "$cannot_open" \
  "game.nes d game_expanded.nes f 4" "${run[@]}" game.nes
check "output cannot be created" "$full_source; mkdir game_expanded.nes" 1 \
  "Unable to create expanded ROM file.$eol" "game.nes source game_expanded.nes d" "${run[@]}" game.nes
for size in 0 1 24591; do
  check "source of $size bytes" "head -c $size \"\$source\" > game.nes; $old_output" 1 \
    "Source file is too short.$eol" "game.nes f $size game_expanded.nes f 4" "${run[@]}" game.nes
done
# Linux's file of a process's memory has a size but cannot be read there.
if [ -e /proc/self/mem ]; then
  check "read error" "" 1 "Unable to read source file.$eol" "" "${run[@]}" /proc/self/mem
else
  skip "read error" "no /proc/self/mem, whose read fails"
fi

# Each of the tool's own allocations fails in turn: the image buffer, the
# output name with its terminator and, on Windows, that name in UTF-16,
# which no_memory.cc tells from everything the libraries allocate by the
# operator, and from each other by size. A sanitizer brings its own.
output_name=game_expanded.nes
allocations=("the image:24592" "the output name:$((${#output_name} + 1))")
[ -n "$windows" ] && allocations+=("the output name in UTF-16:$(((${#output_name} + 1) * 2))")
if [ -z "$no_memory" ]; then
  skip "out of memory" "given no tool built to run out of memory (a sanitizer's build has none)"
else
  for allocation in "${allocations[@]}"; do
    check "out of memory for ${allocation%:*}" "$full_source; $old_output" 1 "Out of memory.$eol" \
      "game.nes source game_expanded.nes f 4" \
      env NO_MEMORY_SIZE=${allocation##*:} "${run[@]:0:${#run[@]}-1}" "$no_memory" game.nes
  done
fi

# A failed write leaves a device, and a link, under the output name alone.
if [ -c /dev/full ]; then
  check "write error on a device behind a link" "$full_source; ln -s /dev/full game_expanded.nes" 1 \
    "$cannot_write" "game.nes source game_expanded.nes l" "${run[@]}" game.nes
  [ -c /dev/full ] || fail "write error on a device behind a link" "/dev/full is gone"
else
  skip "write error on a device behind a link" "no /dev/full, whose writes fail"
fi
# A file-size limit cuts a write off partway: at 16 KiB the third of the
# four writes, at 32 KiB the last one. Only the old output is lost: the
# failed run removes what it wrote. Through a link to another regular file
# both stay, and that file is left empty.
# Under Wine the limit would pass on to Wine's server, were the tool the
# one to start it, and the server could not save its registry later (it
# says so on standard error, in whichever case runs then); keep_wine_server
# has one running from the start.
# limited KIB COMMAND...: runs COMMAND under a file-size limit of KIB KiB.
limited() {
  bash -c "ulimit -f $1 && trap '' XFSZ && exec \"\$@\"" limit "${@:2}"
}
for limit in 16 32; do
  check "write cut off at $limit KiB" "$full_source; $old_output" 1 "$cannot_write" \
    "game.nes source" limited $limit "${run[@]}" game.nes
  if [ -n "$windows" ]; then
    skip "write cut off at $limit KiB through a link" "Wine shows a Windows program no link, only its target"
    continue
  fi
  check "write cut off at $limit KiB through a link to another file" \
    "$full_source; echo old > other; ln -s other game_expanded.nes" 1 "$cannot_write" \
    "game.nes source game_expanded.nes l other f 0" limited $limit "${run[@]}" game.nes
done

# Writing the output must never destroy the source, under whatever name.
check "source is a link to the output" "cp \"\$source\" game_expanded.nes; ln -s game_expanded.nes game.nes" \
  1 "$same_file" "game.nes l game_expanded.nes source" "${run[@]}" game.nes
check "output is a link to the source" "$full_source; ln -s game.nes game_expanded.nes" \
  1 "$same_file" "game.nes source game_expanded.nes l" "${run[@]}" game.nes
check "output is a hard link of the source" "$full_source; ln game.nes game_expanded.nes" \
  1 "$same_file" "game.nes source game_expanded.nes source" "${run[@]}" game.nes
check "a linked folder makes the two one file" \
  "mkdir roms; cp \"\$source\" roms/game.nes; ln -s roms alias; ln -s ../alias/game.nes roms/game_expanded.nes" \
  1 "$same_file" "alias l roms d roms/game.nes source roms/game_expanded.nes l" \
  "${run[@]}" roms/game.nes
# Another program swaps the output name between a plain file and a link to
# the source, symbolic or hard, as fast as it can, while the tool runs again
# and again, up to race_runs times in race_seconds: each run expands into
# the plain file or refuses, and the source never changes. perl swaps with
# no process started per swap. NESEXPAND_TEST_RACE_SECONDS shortens the race
# where each run is slow and the code the same (a sanitizer, an emulator).
race_runs=300
race_seconds=${NESEXPAND_TEST_RACE_SECONDS:-20}
if [ -n "$locale" ]; then
  skip "output swapped with a link to the source" "its names are ASCII: it runs in the first locale only"
elif ! command -v perl > /dev/null; then
  skip "output swapped with a link to the source" "perl, which swaps the names, is not installed"
else
  for link in symlink link; do
    case="output swapped with a $link to the source"
    enter_new_folder race && cp "$source" game.nes || exit 1
    perl -e 'while (1) {
      open(my $plain, ">", "plain.tmp") or die "plain.tmp: $!";
      print $plain "old\n";
      close($plain);
      rename("plain.tmp", "game_expanded.nes");
      ($ARGV[0] eq "link" ? link("game.nes", "link.tmp") : symlink("game.nes", "link.tmp"));
      rename("link.tmp", "game_expanded.nes");
    }' "$link" &
    racer=$!
    deadline=$((SECONDS + race_seconds))
    for ((runs = 0; runs < race_runs && SECONDS < deadline; runs++)); do
      "${run[@]}" game.nes
    done > "$root/stdout" 2> "$root/stderr"
    kill "$racer" 2> /dev/null || fail "$case" "the names stopped changing before the last run"
    wait "$racer" 2> /dev/null
    echo "cli: $case: $runs runs"
    cmp -s game.nes "$source" || fail "$case" "the source changed within $runs runs"
    printed=$(grep -vxF "${same_file%$'\n'}" "$root/stdout" | sort -u | sed -n l | head -3)
    [ -z "$printed" ] || fail "$case" "printed '$printed'"
    [ -s "$root/stderr" ] && fail "$case" "wrote to standard error: $(head -3 "$root/stderr")"
  done
fi
# A link to, or a hard link of, some other file is written through.
check "output is a link to another file" "$full_source; $old_output; mv game_expanded.nes other; ln -s other game_expanded.nes" \
  0 "" "game.nes source game_expanded.nes l other expanded" "${run[@]}" game.nes
check "output is a hard link of another file" "$full_source; $old_output; ln game_expanded.nes other" \
  0 "" "game.nes source game_expanded.nes expanded other expanded" "${run[@]}" game.nes

# An existing output is replaced, further arguments are ignored, and bytes
# past the first 24,592 make no difference.
check "success" "mkdir roms; { cat \"\$source\"; random_bytes 5408 1; } > roms/long.nes; echo stale > roms/long_expanded.nes" \
  0 "" "roms d roms/long.nes f 30000 roms/long_expanded.nes expanded" "${run[@]}" roms/long.nes ignored arguments
check "absolute source path" "$full_source" 0 "" "game.nes source game_expanded.nes expanded" \
  bash -c 'exec "$@" "$PWD/game.nes"' absolute "${run[@]}"
check "name without the ending" "cp \"\$source\" game.NES" 0 "" "game.NES source game.NES_expanded.nes expanded" \
  "${run[@]}" game.NES
# Names beyond any one legacy code page.
for name in ぼうけん café; do
  check "source named $name.nes" "cp \"\$source\" $name.nes" 0 "" \
    "$name.nes source ${name}_expanded.nes expanded" "${run[@]}" "$name.nes"
done

if [ -n "$windows" ]; then
  # The same-file check and the cleanup ask Windows itself about the very
  # file that fopen opens, whatever the script of its name, and through a
  # drive letter and backslashes (Wine's Z: is the root folder). The C
  # runtime's stat, which std::filesystem asks, tells a file named *.exe,
  # *.com, *.bat or *.cmd from its links by the execute bits it guesses from
  # the name; and Windows' own msvcrt.dll, unlike Wine's, finds nothing at
  # all under a \\?\ path. So the tool must import none of that family.
  if [ -z "$objdump" ]; then
    skip "imports" "no objdump given to list the tool's imports"
  elif ! imports=$("$objdump" -p "$tool") || ! grep -q 'DLL Name: msvcrt.dll' <<< "$imports"; then
    fail "imports" "$objdump lists no imports of msvcrt.dll"
  elif stats=$(grep -E '[[:space:]]_w?stat[0-9i]*$' <<< "$imports"); then
    fail "imports" "the tool imports the C runtime's stat: $stats"
  fi
  for name in game.com GAME.EXE ぼうけん.Bat '🎮 café.cmd'; do
    output="${name}_expanded.nes"
    setup="cp \"\$source\" '$name'"
    check "$name with its output a hard link of it" "$setup; ln '$name' '$output'" \
      1 "$same_file" "$name source $output source" "${run[@]}" "$name"
    check "$name with its output a link to it" "$setup; ln -s '$name' '$output'" \
      1 "$same_file" "$name source $output l" "${run[@]}" "$name"
    check "$name with no link" "$setup" 0 "" "$name source $output expanded" "${run[@]}" "$name"
  done
  # Windows creates no file over a hidden one, and the tool replaces none.
  # Wine keeps the attribute in an extended attribute of the file, where
  # the file system has them.
  hide() { "${run[@]:0:${#run[@]}-1}" cmd /c "attrib +h $1 & attrib $1" | cut -c 1-12 | grep -q H; }
  if ! { enter_new_folder hidden && echo old > game_expanded.nes && hide game_expanded.nes; }; then
    skip "an old output that is hidden" "Wine cannot mark a file hidden on this file system"
  else
    check "an old output that is hidden" "$full_source; $old_output; hide game_expanded.nes" 1 \
      "Unable to create expanded ROM file.$eol" "game.nes source game_expanded.nes f 4" "${run[@]}" game.nes
  fi
  # by_path PREFIX FILE COMMAND...: runs COMMAND with the full path of FILE
  # in the current folder, written PREFIX plus a drive letter.
  by_path='p=$PWD/$2; prefix=$1; shift 2; exec "$@" "${prefix}Z:${p//\//\\}"'
  in_folder="mkdir 'José s ROMs'; cp \"\$source\" 'José s ROMs/game.nes'"
  for prefix in "" '\\?\'; do
    check "same file by a ${prefix}Z: path through a non-ASCII folder" \
      "$in_folder; ln 'José s ROMs/game.nes' 'José s ROMs/game_expanded.nes'" \
      1 "$same_file" "José s ROMs d José s ROMs/game.nes source José s ROMs/game_expanded.nes source" \
      bash -c "$by_path" path "$prefix" "José s ROMs/game.nes" "${run[@]}"
    check "a ${prefix}Z: path with spaces" "$in_folder" 0 "" \
      "José s ROMs d José s ROMs/game.nes source José s ROMs/game_expanded.nes expanded" \
      bash -c "$by_path" path "$prefix" "José s ROMs/game.nes" "${run[@]}"
  done
  check "write cut off under a \\?\ path with a non-ASCII name" \
    "mkdir 'José s ROMs'; cp \"\$source\" 'José s ROMs/ぼうけん.nes'; echo old > 'José s ROMs/ぼうけん_expanded.nes'" \
    1 "$cannot_write" "José s ROMs d José s ROMs/ぼうけん.nes source" \
    limited 16 bash -c "$by_path" path '\\?\' "José s ROMs/ぼうけん.nes" "${run[@]}"
  # In a folder that forbids removal Windows refuses DeleteFileW, and Wine
  # says yes but leaves the file: either way the output must not stay as
  # it was cut off. Root may remove anything, so as root the tool is run as
  # nobody, from copies of the tool and of the runner, with the runner's
  # own Wine prefix for that user, which is kept.
  unremovable="$full_source; $old_output; chmod 555 ."
  user_run=("${run[@]}")
  if [ "$(id -u)" = 0 ] && command -v setpriv > /dev/null && id nobody > /dev/null 2>&1; then
    home=$root/nobody runner=${run[0]}
    mkdir "$home" && cp "$tool" "$runner" "$home" && chown -R nobody "$home" && chmod 711 "$root" || exit 1
    as_nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups
               env -u WINEPREFIX HOME="$home" TMPDIR=/tmp "$home/${runner##*/}")
    keep_wine_server "${as_nobody[@]}"
    user_run=("${as_nobody[@]}" "$home/${tool##*/}")
    unremovable="$unremovable; chown nobody game_expanded.nes"
  fi
  if [ "$(id -u)" = 0 ] && [ "${user_run[*]}" = "${run[*]}" ]; then
    skip "write cut off in a folder that forbids removal" "root removes anything, and setpriv or the user nobody is missing"
  else
    check "write cut off in a folder that forbids removal" "$unremovable" 1 "$cannot_write" \
      "game.nes source game_expanded.nes f 0" limited 16 "${user_run[@]}" game.nes
  fi
  chmod 755 .  # so that the folder can be removed

  # Another program (an indexer, a scanner) holds the output open, sharing
  # only reading. Where it holds an old output first, nothing is written;
  # where it tries to open the new one during the run, it cannot, and a
  # write cut off leaves nothing behind.
  # holding EVENT COMMAND...: runs COMMAND once the holder, watching
  # game_expanded.nes, says EVENT ("watching", or "held" once it holds a
  # file there), then stops the holder.
  holding() {
    local event=$1 waited held_status
    shift
    : > holder.out  # there before the holder starts, for the grep below
    "${run[@]:0:${#run[@]}-1}" "$holder" game_expanded.nes stop.tmp >> holder.out 2>&1 &
    held=$!
    for ((waited = 0; waited < 600; waited++)); do
      grep -q "$event" holder.out && break
      sleep 0.1
    done
    "$@"
    held_status=$?
    : > stop.tmp
    wait "$held"
    rm stop.tmp holder.out
    return $held_status
  }
  if [ -z "$holder" ]; then
    skip "another program holds the output" "no holder given"
  else
    check "another program holds the old output" "$full_source; $old_output" 1 \
      "Unable to create expanded ROM file.$eol" "game.nes source game_expanded.nes f 4" \
      holding held "${run[@]}" game.nes
    check "write cut off while another program tries to hold the output" "$full_source" 1 \
      "$cannot_write" "game.nes source" holding watching limited 16 "${run[@]}" game.nes
  fi

  # Only a window of its own, started from Explorer, waits for Enter after a
  # failure: with any other standard input the run ends at once. A wait
  # shows as timeout's status 124.
  short_source="head -c 100 \"\$source\" > game.nes"
  for input in "/dev/null" "a pipe that stays open"; do
    redirect='exec "$@" < /dev/null'
    [ "$input" = /dev/null ] || redirect='exec "$@" < <(exec sleep 100 2> /dev/null)'
    from=(timeout 60 bash -c "$redirect" input "${run[@]}")
    check "no argument, input from $input" "" 1 "usage:  $argv0 <srcfile>$eol" "" "${from[@]}"
    check "missing source, input from $input" "" 1 "$cannot_open" "" "${from[@]}" game.nes
    check "short source, input from $input" "$short_source" 1 "Source file is too short.$eol" \
      "game.nes f 100" "${from[@]}" game.nes
  done
  # From a terminal, where Wine makes a console of it, alone on that console
  # as in a window of its own; what it prints comes with terminal controls.
  if command -v script > /dev/null; then
    for args in "" game.nes; do
      enter_new_folder case && eval "$short_source" || exit 1
      timeout 60 script -qec "$(printf '%q ' "${run[@]}" $args)" /dev/null < <(exec sleep 100 2> /dev/null) > /dev/null 2>&1
      status=$?
      [ "$status" = 1 ] || fail "from a terminal: ${args:-no argument}" "exit status $status, expected 1"
    done
  else
    skip "from a terminal" "script(1) is not installed"
  fi
fi

[ "$failures" = 0 ] && echo "cli: all cases passed"
exit $((failures > 0))
