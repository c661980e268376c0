# Helpers shared by the shell tests; sourced, not run. Only POSIX forms of
# the commands are used (and head -c, which GNU, BSD and busybox all have),
# so that the tests run on macOS and the BSDs too.

# fail CASE TEXT...: reports one failure of CASE, counted in $failures.
failures=0
fail() { echo "FAIL [$1]: ${*:2}"; failures=$((failures + 1)); }

# absolute FILE: FILE's full path, links in its folder resolved.
absolute() { printf '%s/%s\n' "$(cd "$(dirname "$1")" && pwd -P)" "$(basename "$1")"; }

# programs_but_git FOLDER: links into FOLDER every program on PATH, the
# first of each name that may be run, as the shell finds it, but git, so
# that PATH=FOLDER is this PATH without git.
programs_but_git() {
  local dirs dir program
  IFS=: read -r -a dirs <<< "$PATH"
  for dir in "${dirs[@]}"; do
    for program in "$dir"/*; do
      if [ -f "$program" ] && [ -x "$program" ] && [ "${program##*/}" != git ] && [ ! -e "$1/${program##*/}" ]; then
        ln -s "$program" "$1/"
      fi
    done
  done
}

# The random bytes come from a seed, new for each run unless
# NESEXPAND_TEST_SEED gives it, so that a failure can be replayed.
test_seed=${NESEXPAND_TEST_SEED:-$((RANDOM * 32768 + RANDOM))}
case $test_seed in
  '' | *[!0-9]*) echo "NESEXPAND_TEST_SEED must be a number, not '$test_seed'"; exit 1 ;;
esac

# random_bytes COUNT STREAM: COUNT bytes drawn from the seed; each STREAM
# number gives other bytes. Park and Miller's generator, whose products
# stay below 2^53 and so are exact in any awk: every awk draws the same
# bytes. awk writes them as octal escapes for printf to turn into bytes,
# as awk's %c cannot write a zero byte in every awk.
random_bytes() {
  LC_ALL=C printf "$(awk -v count="$1" -v seed="$test_seed" -v stream="$2" 'BEGIN {
    m = 2147483647                               # 2^31 - 1, a prime
    x = (seed + stream * 1000003) % (m - 1) + 1  # never 0, where it would stay
    for (i = 0; i < count; i++) {
      x = x * 16807 % m
      printf "\\%03o", int(x / 8388608)          # the top 8 of its 31 bits
    }
  }')"
}

# make_images: a work folder $root, removed at exit, holding a random
# source image $source and its expected expansion $expanded. Prints the
# seed, so that a failing run's output tells how to replay it.
make_images() {
  echo "random bytes from seed $test_seed; NESEXPAND_TEST_SEED=$test_seed replays them"
  root=$(mktemp -d) && [ -d "$root" ] || exit 1
  trap 'rm -rf "$root"' EXIT
  source=$root/source.nes
  expanded=$root/expanded.nes
  random_bytes 24592 0 > "$source"
  expected_image "$source" > "$expanded"
}

# enter_new_folder NAME: makes a new folder NAME.* in $root and goes into
# it, or ends the test: a case must never run where it was started.
# Six X's, as every mktemp takes that many.
enter_new_folder() {
  local folder
  folder=$(mktemp -d "$root/$1.XXXXXX") && [ -d "$folder" ] && cd "$folder" || exit 1
}

# bytes FIRST LAST FILE: file offsets FIRST to LAST of FILE, both included.
bytes() { tail -c +$(($1 + 1)) "$3" | head -c $(($2 - $1 + 1)); }
zeros() { head -c "$1" /dev/zero; }

# expected_image SOURCE: the expanded image of SOURCE's first 24,592 bytes,
# built from the layout table in plain offsets, independently of the tool.
expected_image() {
  bytes 0x0000 0x0003 "$1"
  printf '\002'                   # PRG-ROM bank count
  bytes 0x0005 0x000F "$1"
  bytes 0x2A88 0x4009 "$1"        # moved block, now the lower bank's start
  zeros 10878                     # fill block
  bytes 0x0010 0x0729 "$1"
  printf '\000'                   # address, low byte
  bytes 0x072B 0x072D "$1"
  printf '\200'                   # address, high byte
  bytes 0x072F 0x2A87 "$1"
  zeros 5506                      # the moved block's old place
  bytes 0x400A 0x600F "$1"        # vectors and CHR-ROM
}

# listing: every entry under the current folder, sorted, one per word pair:
# a regular file equal to $source is "NAME source", one equal to $expanded
# is "NAME expanded", any other "NAME f SIZE"; a symbolic link "NAME l",
# anything else "NAME TYPE", its type as ls -l marks it (d, p, c, b, s).
listing() {
  local entry
  find . ! -name . -print | sed 's|^\./||' | LC_ALL=C sort | while IFS= read -r entry; do
    if [ -L "$entry" ]; then
      printf '%s l\n' "$entry"
    elif [ ! -f "$entry" ]; then
      printf '%s %s\n' "$entry" "$(ls -ld "$entry" | cut -c 1)"
    elif cmp -s "$entry" "$source"; then
      printf '%s source\n' "$entry"
    elif cmp -s "$entry" "$expanded"; then
      printf '%s expanded\n' "$entry"
    else
      printf '%s f %s\n' "$entry" "$(($(wc -c < "$entry")))"  # BSD's wc pads the count
    fi
  done | paste -s -d ' ' -
}

# verify CASE STATUS MESSAGE FILES: the last run, whose exit status is in
# $status and whose output is in $root/stdout and $root/stderr, exited with
# STATUS, printed exactly MESSAGE and nothing on standard error, and left
# exactly FILES in the current folder, as listing writes them.
verify() {
  local now
  [ "$status" = "$2" ] || fail "$1" "exit status $status, expected $2"
  printf %s "$3" | cmp -s - "$root/stdout" || fail "$1" "printed '$(sed -n l "$root/stdout")'"
  [ -s "$root/stderr" ] && fail "$1" "wrote to standard error: $(cat "$root/stderr")"
  now=$(listing)
  [ "$now" = "$4" ] || fail "$1" "folder holds '$now', expected '$4'"
}
