#!/bin/sh
# Runs a Windows program under Wine, in a private prefix that is made once
# beforehand, so that Wine's first-start messages never mix with what the
# program prints. "wine-run.sh wineserver ARGS" runs Wine's server command
# for that prefix instead.
set -e
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/nesexpand-wine-$(id -u)}"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init > /dev/null 2>&1
    wineserver --wait
  fi
  # Where no server runs for the prefix, one is started here, and Wine's
  # own services with it, on no stream of the caller's: the first program
  # to start them would lend them its streams, which they keep open as
  # long as the server runs, so that a caller reading the program's
  # output to its end (a test runner) would wait for the server too. It
  # ends three seconds after its last program, as Wine's own does.
  # Neither holds the lock, which would keep every other call waiting.
  if [ "$1" != wineserver ] && wineserver -p3 < /dev/null > /dev/null 2>&1 9>&-; then
    wine cmd /c exit 0 < /dev/null > /dev/null 2>&1 9>&-
  fi
) 9> "$WINEPREFIX/.lock"
[ "$1" = wineserver ] && exec "$@"
exec wine "$@"
