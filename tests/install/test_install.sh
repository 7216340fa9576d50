#!/usr/bin/env bash
# cmake --install lays the programs out under a prefix, and the installed
# programs find their files in PREFIX/share/kel.
#   test_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kel bin/keltool share/kel/KEL.LNG share/kel/help.md \
         share/applications/kel.desktop share/mime/packages/kel.xml \
         share/icons/hicolor/scalable/apps/kel.svg; do
  if [ ! -e "$prefix/$f" ]; then
    echo "not installed: $f" >&2
    exit 1
  fi
done

# The language file is found in share/kel: a refusal reads as its message.
out=$(env -u KEL_HOME TEMP="$prefix/tmp" "$prefix/bin/keltool" settings "$prefix/none.kel" 2>&1 || true)
case "$out" in
  *"[41]"*) ;;
  *) echo "installed keltool did not find its language file: $out" >&2; exit 1 ;;
esac
# KEL_HOME holding only the admin's own files still finds the shipped ones;
# a language file found nowhere names every place it was looked for.
mkdir -p "$prefix/home"
out=$(KEL_HOME="$prefix/home" TEMP="$prefix/tmp" "$prefix/bin/keltool" settings "$prefix/none.kel" 2>&1 || true)
case "$out" in
  *"[41]"*) ;;
  *) echo "keltool with KEL_HOME did not find the installed language file: $out" >&2; exit 1 ;;
esac
mv "$prefix/share/kel/KEL.LNG" "$prefix/KEL.LNG.away"
out=$(KEL_HOME="$prefix/home" TEMP="$prefix/tmp" "$prefix/bin/keltool" settings "$prefix/none.kel" 2>&1 || true)
mv "$prefix/KEL.LNG.away" "$prefix/share/kel/KEL.LNG"
for place in "$prefix/home/KEL.LNG" "$prefix/share/kel/KEL.LNG" "$prefix/bin/KEL.LNG"; do
  case "$out" in
    *"$place"*) ;;
    *) echo "a missing language file does not name $place: $out" >&2; exit 1 ;;
  esac
done
out=$("$prefix/bin/kel" --version)
case "$out" in
  "kel (Kel Printing System) 2.2"*) ;;
  *) echo "kel --version: $out" >&2; exit 1 ;;
esac

# The desktop file opens reports, packed reports, containers and template data.
grep -q '^Exec=kel %f$' "$prefix/share/applications/kel.desktop"
for type in application/x-kel-report application/x-kel-packed-report application/x-kel-container application/x-kel-template-data; do
  grep -q "MimeType=.*$type;" "$prefix/share/applications/kel.desktop"
  grep -q "type=\"$type\"" "$prefix/share/mime/packages/kel.xml"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kel.desktop"
fi
echo "installed under $prefix"
