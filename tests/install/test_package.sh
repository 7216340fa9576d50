#!/usr/bin/env bash
# The Debian package as an administrator meets it: built by CPack, its
# contents listed, installed, the console started as the unit starts it (as
# user kel, with the unit's environment) until it has printed a report
# dropped into /var/spool/kel, two more consoles set up as the template unit
# says, each printing its own queue, a second install that keeps the
# admin's KEL.INI, and the package removed again, which keeps the queue and
# /var/lib/kel. Run as root on a machine where installing a package is fine
# (CI); what it made that was not there before is removed at the end.
#   test_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")

if [ "$(id -u)" != 0 ]; then
  echo "test_package: needs root (it installs a package); skipped" >&2
  exit 0
fi
if dpkg-query -W -f='${Status}' kel 2>/dev/null | grep -q "install ok installed"; then
  echo "test_package: a package kel is installed already; not touching it" >&2
  exit 1
fi

fail() {
  echo "test_package: $*" >&2
  exit 1
}

had_user=$(getent passwd kel >/dev/null && echo yes || echo no)
had_group=$(getent group kel >/dev/null && echo yes || echo no)
had_lib=$([ -e /var/lib/kel ] && echo yes || echo no)
had_spool=$([ -e /var/spool/kel ] && echo yes || echo no)
work=$(mktemp -d)
consoles=()
cleanup() {
  for pid in "${consoles[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  if dpkg-query -W -f='${Status}' kel 2>/dev/null | grep -q "installed"; then
    dpkg --purge kel >/dev/null 2>&1 || true
  fi
  [ "$had_lib" = yes ] || rm -rf /var/lib/kel
  [ "$had_spool" = yes ] || rm -rf /var/spool/kel
  [ "$had_user" = yes ] || userdel kel 2>/dev/null || true
  [ "$had_group" = yes ] || groupdel kel 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Build and look inside.
(cd "$build" && cpack -G DEB >"$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/kel_*.deb | head -1)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/kel /usr/bin/keltool /usr/bin/kelconnect \
         /usr/share/kel/KEL.LNG /usr/share/kel/help.md /usr/share/kel/KEL.INI.package \
         /usr/share/kel/CP437.cnv /usr/share/kel/CP850.cnv \
         /usr/share/applications/kel.desktop /usr/share/mime/packages/kel.xml \
         /usr/share/icons/hicolor/scalable/apps/kel.svg \
         /usr/share/man/man1/kel.1.gz /usr/share/man/man1/keltool.1.gz \
         /usr/share/man/man1/kelconnect.1.gz /usr/share/man/man5/kel.ini.5.gz \
         /usr/lib/systemd/system/kel-console.service \
         /usr/lib/systemd/system/kel-console@.service; do
  grep -qx "$f" "$work/contents" || fail "not in the package: $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *libqt6core6*) ;;
  *) fail "the dependencies do not name Qt: $depends" ;;
esac

# Install; the maintainer scripts make the user, the queue and the program
# folder with its KEL.INI.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
  >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt install failed"; }
getent passwd kel >/dev/null || fail "no user kel"
[ "$(stat -c %U /var/spool/kel)" = kel ] || fail "/var/spool/kel is not kel's"
[ "$(stat -c %U /var/lib/kel/KEL.INI)" = kel ] || fail "no KEL.INI of kel's in /var/lib/kel"
grep -q '^KEL_PRINTER=pdf:/var/lib/kel/pdf$' /var/lib/kel/KEL.INI || fail "KEL.INI prints elsewhere"

# The pages render without a warning.
for page in man1/kel.1 man1/keltool.1 man1/kelconnect.1 man5/kel.ini.5; do
  out=$(zcat "/usr/share/man/$page.gz" | groff -ww -man -z 2>&1) || fail "$page: $out"
  [ -z "$out" ] || fail "$page: $out"
done
unit=/usr/lib/systemd/system/kel-console.service
if command -v systemd-analyze >/dev/null; then
  for u in "$unit" /usr/lib/systemd/system/kel-console@.service; do
    out=$(systemd-analyze verify "$u" 2>&1) || fail "systemd-analyze verify $u: $out"
    [ -z "$out" ] || fail "systemd-analyze verify $u: $out"
  done
  systemd-analyze security --offline=yes "$unit" 2>/dev/null | tail -1 || true
fi

# A console started as the unit starts it: its user, its environment and
# its command line, with the one capability the unit grants.
# run_as_unit LOG ENVIRONMENT... -- COMMAND...
run_as_unit() {
  local log=$1
  shift
  local env=()
  while [ "$1" != -- ]; do
    env+=("$1")
    shift
  done
  shift
  env -i PATH=/usr/bin:/bin HOME=/var/lib/kel USER=kel LOGNAME=kel "${env[@]}" \
    setpriv --reuid=kel --regid=kel --init-groups \
    --inh-caps=+net_bind_service --ambient-caps=+net_bind_service "$@" \
    >"$log" 2>&1 &
  consoles+=($!)
}
unit_env() { # the Environment= lines of a unit, instance name %i replaced
  sed -n 's/^Environment=//p' "$1" | sed "s|%i|${2:-}|g"
}
unit_exec() {
  sed -n 's/^ExecStart=//p' "$1" | sed "s|%i|${2:-}|g"
}
# wait_for_pdf FOLDER LOG: a PDF written into FOLDER within 30 s.
wait_for_pdf() {
  for _ in $(seq 1 150); do
    if ls "$1"/*.pdf >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.2
  done
  cat "$2" >&2
  fail "nothing printed into $1"
}
report() { # report TITLE: a one-page report
  printf 'REPORT_TITLE=%s\r\n[HEADER]\r\n[DATA]\r\nPrinted by the %s console\r\n' "$1" "$1"
}

# The receiver's port below 1024 needs the unit's capability: 1001 as
# shipped, or the first free port below 1024 when something else has it.
port_free() { ! ss -ltnH "sport = :$1" 2>/dev/null | grep -q .; }
low_port=1001
while ! port_free "$low_port" && [ "$low_port" -lt 1023 ]; do
  low_port=$((low_port + 1))
done
sed -i "s|^TCP_PORT=.*|TCP_PORT=$low_port|" /var/lib/kel/KEL.INI

mapfile -t env_main < <(unit_env "$unit")
read -r -a exec_main < <(unit_exec "$unit")
[ "$(sed -n 's/^User=//p' "$unit")" = kel ] || fail "the unit does not run as kel"
run_as_unit "$work/main.log" "${env_main[@]}" -- "${exec_main[@]}"
report main | install -o kel -g kel -m 0640 /dev/stdin /var/spool/kel/main.kel
wait_for_pdf /var/lib/kel/pdf "$work/main.log"
if grep -q "cannot listen" "$work/main.log"; then
  fail "the console could not listen on $low_port: $(cat "$work/main.log")"
fi
ss -ltnH "sport = :$low_port" | grep -q . || fail "nothing listens on $low_port"

# Two more queues as the template unit's head says, each with its own
# program folder, TEMP and port, beside the first console.
template=/usr/lib/systemd/system/kel-console@.service
port=5102
for name in east west; do
  install -d -o kel -g kel -m 0750 "/var/lib/kel/$name" "/var/lib/kel/$name/pdf" \
    "/var/spool/kel/$name"
  sed -e "s|/var/lib/kel/|/var/lib/kel/$name/|g" \
      -e "s|^QUEUE_PATH=.*|QUEUE_PATH=/var/spool/kel/$name|" \
      -e "s|^TCP_PORT=.*|TCP_PORT=$port|" /var/lib/kel/KEL.INI |
    install -o kel -g kel -m 0640 /dev/stdin "/var/lib/kel/$name/KEL.INI"
  mapfile -t env_q < <(unit_env "$template" "$name")
  read -r -a exec_q < <(unit_exec "$template" "$name")
  run_as_unit "$work/$name.log" "${env_q[@]}" -- "${exec_q[@]}"
  report "$name" | install -o kel -g kel -m 0640 /dev/stdin "/var/spool/kel/$name/$name.kel"
  port=$((port + 1))
done
for name in east west; do
  wait_for_pdf "/var/lib/kel/$name/pdf" "$work/$name.log"
  grep -q "kel: 109" "$work/$name.log" && fail "$name: a second console refused: $(cat "$work/$name.log")"
done
for pid in "${consoles[@]}"; do
  kill -TERM "$pid"
done
for pid in "${consoles[@]}"; do
  wait "$pid" || fail "a console ended with status $? after SIGTERM"
done
consoles=()
[ "$(ls /var/lib/kel/pdf | wc -l)" = 1 ] || fail "the first console printed $(ls /var/lib/kel/pdf)"

# Installing again and removing keep what the admin made.
echo "# the admin's own line" >>/var/lib/kel/KEL.INI
cp /var/lib/kel/KEL.INI "$work/KEL.INI"
report held >/var/spool/kel/waits.ke
dpkg -i "$deb" >/dev/null 2>&1 || fail "installing again failed"
cmp -s /var/lib/kel/KEL.INI "$work/KEL.INI" || fail "installing again changed KEL.INI"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kel >/dev/null 2>&1 || fail "apt remove failed"
[ ! -e /usr/bin/kel ] || fail "kel is still installed"
cmp -s /var/lib/kel/KEL.INI "$work/KEL.INI" || fail "removing changed KEL.INI"
[ -e /var/spool/kel/waits.ke ] || fail "removing emptied the queue"
dpkg --purge kel >/dev/null 2>&1 || true
cmp -s /var/lib/kel/KEL.INI "$work/KEL.INI" || fail "purging removed KEL.INI"
echo "test_package: $deb built, installed, printed, removed"
