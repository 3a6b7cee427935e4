#!/bin/sh
# The emulator of the Windows builds: `wine.sh WINESERVER WINE PROGRAM [ARGUMENTS...]` runs the
# program under Wine. Test discovery during the build and every test are Wine processes of their
# own: the first one starts the prefix's server, to stay a minute after the last program exits
# (or each would start and stop it, seconds each), and Wine's services, making the prefix first
# if there is none, all with no standard stream of the program's (which they would hold open for
# as long as they run, so that whoever reads the program's output would wait for them). One
# program at a time does so; the others wait for it.
servidor=$1
carregador=$2
shift 2
(
  flock 9
  if "$servidor" -p60 </dev/null >/dev/null 2>&1 9>&-; then
    "$carregador" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>>"${WINEPREFIX:-$HOME/.wine}.lock"
exec "$carregador" "$@"
