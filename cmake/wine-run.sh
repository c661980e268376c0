#!/bin/sh
# Runs a Windows program under Wine, in a private prefix that is made once
# beforehand, so that Wine's first-start messages never mix with what the
# program prints. "wine-run.sh wineserver ARGS" runs Wine's server command
# for that prefix instead.
set -e
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/nesexpand-wine-$(id -u)}"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init > /dev/null 2>&1
      wineserver --wait
    fi
  ) 9> "$WINEPREFIX/.lock"
fi
[ "$1" = wineserver ] && exec "$@"
exec wine "$@"
