#!/usr/bin/env bash
# The man pages the build writes from the README render without a warning,
# and say everything the programs' own help lists: every console switch of
# `kel --help` and every command of `keltool --help`.
#   test_manpages.sh BUILD_DIR
set -euo pipefail
build=$1
status=0
for page in kel.1 keltool.1 kelconnect.1 kel.ini.5; do
  file=$build/man/$page
  [ -s "$file" ] || { echo "no man page $file" >&2; status=1; continue; }
  if command -v mandoc >/dev/null; then
    out=$(mandoc -T lint "$file" 2>&1 || true)
  else
    out=$(groff -ww -man -z "$file" 2>&1 || true)
  fi
  if [ -n "$out" ]; then
    echo "$page: $out" >&2
    status=1
  fi
done
text() { groff -man -Tascii -P-cbou "$1" 2>/dev/null; }
kel_page=$(text "$build/man/kel.1")
for switch in $("$build/bin/kel" --help | sed -n 's/^  \(-[A-Z]\)[A-Z]* .*/\1/p'); do
  case "$kel_page" in
    *"$switch"*) ;;
    *) echo "kel(1) does not name the switch $switch of kel --help" >&2; status=1 ;;
  esac
done
keltool_page=$(text "$build/man/keltool.1")
for command in $("$build/bin/keltool" --help | sed -n 's/^  \([a-z]*\) .*/\1/p'); do
  case "$keltool_page" in
    *"keltool $command"*) ;;
    *) echo "keltool(1) does not name the command $command of keltool --help" >&2; status=1 ;;
  esac
done
exit $status
