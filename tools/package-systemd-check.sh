#!/usr/bin/env bash
# The package under a real systemd (a booted Debian 12 container, see
# systemd-container.sh): readiness of the system unit (a taken port fails the start,
# a free one returns only once it accepts), its status line, its watchdog, 2 000
# sessions at once with maxusers 2500, and bob's user service (tarvona-service -i on
# port 2121, -s that serves it, a failed -s with its reason and a unit that stops
# retrying, --status's exit codes). Run as root:
#   tools/package-systemd-check.sh FILE.deb
# SYSTEMD_CONTAINER names the container script (default: ../shared/tools beside the
# checkout); SD_DIR its working folder (default $TMPDIR/tarvona-systemd).
set -uo pipefail
deb=$(realpath "${1:?usage: tools/package-systemd-check.sh FILE.deb}")
here=$(cd "$(dirname "$0")" && pwd)
ct=${SYSTEMD_CONTAINER:-$here/../../shared/tools/systemd-container.sh}
[ -x "$ct" ] || { echo "skipped: no container script at $ct"; exit 0; }
export SD_DIR=${SD_DIR:-${TMPDIR:-/tmp}/tarvona-systemd}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
in_ct() { "$ct" exec "$@"; }
as_bob() { "$ct" user-exec "$@"; }
# Host programs in the container's network (it has no python3 of its own).
init_pid() { pgrep -P "$(cat "$SD_DIR/nspawn.pid")" | head -1; }
in_net() { nsenter -t "$(init_pid)" -n -- "$@"; }
holder=
hold_port() {  # a listener on port $1 inside the container, until release_port
  # nsenter runs python in its own place, so $! is the listener itself.
  nsenter -t "$(init_pid)" -n -- /usr/bin/python3 -c 'import socket,sys,time
s=socket.socket(socket.AF_INET6); s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
s.bind(("::", int(sys.argv[1]))); s.listen(); time.sleep(600)' "$1" &
  holder=$!
  sleep 0.5
}
release_port() { [ -n "$holder" ] && kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; holder=; }
listening() { in_ct ss -Hltn "sport = :$1" | grep -q LISTEN; }
trap 'release_port; "$ct" --stop >/dev/null' EXIT

start=$(date +%s)
"$ct" --deb "$deb" || { echo "FAIL: the container did not boot"; exit 1; }
echo "container ready after $(( $(date +%s) - start )) s"
name=$(basename "$deb")
in_ct sh -c "cd /root && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./$name" \
  > "$SD_DIR/install.log" 2>&1 || fail "apt-get install: $(tail -5 "$SD_DIR/install.log")"
in_ct systemctl reset-failed tarvona-server 2> /dev/null

# The system unit: a taken port fails the start (after its retries), with the reason.
hold_port 21
t=$(date +%s)
if in_ct systemctl start tarvona-server 2> /dev/null; then fail "start with port 21 taken succeeded"
else pass "start with port 21 taken fails ($(( $(date +%s) - t )) s)"; fi
status=$(in_ct systemctl status --no-pager tarvona-server 2>&1)
grep -q "Address already in use" <<< "$status" && pass "status says why" \
  || fail "status does not say why: $status"
# It retries twice, 5 s apart, and stays failed.
for _ in $(seq 20); do [ "$(in_ct systemctl is-active tarvona-server)" = failed ] && break; sleep 1; done
restarts=$(in_ct systemctl show -p NRestarts --value tarvona-server)
sleep 6
[ "$(in_ct systemctl is-active tarvona-server)" = failed ] && \
  [ "$(in_ct systemctl show -p NRestarts --value tarvona-server)" = "$restarts" ] \
  && pass "the unit stopped retrying after $restarts restarts" || fail "the unit retries on"
release_port
in_ct systemctl reset-failed tarvona-server

# A free port: start returns once it accepts; the status line counts sessions.
in_ct sh -c 'printf "[Server]\nSavelog=1\nmaxusers=2500\n[Security]\nMaxPerAddress=0\nMaxNotLoggedIn=0\n" \
  > /var/lib/tarvona/option.ini && chown tarvona: /var/lib/tarvona/option.ini'
if in_ct systemctl start tarvona-server && listening 21; then pass "port 21 listens as start returns"
else fail "start returned before port 21 listened"; fi
sleep 1.5
grep -q "Status: \"Serving port 21: 0 sessions.\"" <<< "$(in_ct systemctl status --no-pager tarvona-server)" \
  && pass "status line" || fail "no status line: $(in_ct systemctl status --no-pager tarvona-server)"
# LimitNOFILE=65536, or the container's own hard limit when that is lower; soft = hard.
line=$(in_ct sh -c 'grep -h "Open-file limit" /var/lib/tarvona/log/*.txt' | tail -1)
if [[ $line =~ Open-file\ limit\ ([0-9]+)\ \(hard\ limit\ ([0-9]+)\) ]] && \
   [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] && [ "${BASH_REMATCH[1]}" -gt 1024 ]; then
  pass "open-file limit: ${line#*]  }"
else fail "open-file limit: $line"; fi
t=$(date +%s)
out=$(in_net /usr/bin/python3 "$here/sessions-client.py" 21 2000) && pass "2000 sessions: $out" \
  || fail "2000 sessions: $out"
echo "2000 sessions took $(( $(date +%s) - t )) s"

# The watchdog: a main loop that stops is restarted.
in_ct sh -c 'mkdir -p /run/systemd/system/tarvona-server.service.d && printf \
  "[Service]\nWatchdogSec=2s\nTimeoutAbortSec=2s\n" > /run/systemd/system/tarvona-server.service.d/wd.conf \
  && systemctl daemon-reload && systemctl restart tarvona-server'
old=$(in_ct systemctl show -p MainPID --value tarvona-server)
new=$old
[ "${old:-0}" -gt 0 ] && in_ct kill -STOP "$old"
for _ in $(seq 30); do
  [ "${old:-0}" -gt 0 ] || break
  sleep 1
  new=$(in_ct systemctl show -p MainPID --value tarvona-server)
  [ "$new" != "$old" ] && [ "$new" != 0 ] && listening 21 && break
done
[ "$new" != "$old" ] && [ "$new" != 0 ] && pass "a stopped main loop is restarted ($old -> $new)" \
  || fail "the watchdog did not restart $old"
in_ct sh -c 'rm -r /run/systemd/system/tarvona-server.service.d; systemctl daemon-reload; systemctl stop tarvona-server'

# bob's user service, from nothing.
as_bob sh -c 'tarvona-service -u; rm -rf ~/.local/share/tarvona' > /dev/null 2>&1
out=$(as_bob tarvona-service -i 2>&1)
grep -q "port 2121" <<< "$out" && as_bob grep -qx "port=2121" /home/bob/.local/share/tarvona/option.ini \
  && pass "tarvona-service -i writes port 2121" || fail "tarvona-service -i: $out"
as_bob tarvona-service -s > /dev/null 2>&1 && listening 2121 && pass "tarvona-service -s serves 2121" \
  || fail "tarvona-service -s did not serve 2121"
as_bob tarvona-service --status > /dev/null; code=$?
[ "$code" -eq 0 ] && pass "--status 0 while running" || fail "--status $code while running"
as_bob tarvona-service -e > /dev/null
as_bob tarvona-service --status > /dev/null; code=$?
[ "$code" -eq 3 ] && pass "--status 3 when stopped" || fail "--status $code when stopped"
hold_port 2121
t=$(date +%s)
if out=$(as_bob tarvona-service -s 2>&1); then fail "tarvona-service -s with 2121 taken: $out"
else
  grep -q "Address already in use" <<< "$out" && pass "-s fails with the reason ($(( $(date +%s) - t )) s)" \
    || fail "-s fails without the reason: $out"
fi
for _ in $(seq 20); do [ "$(as_bob systemctl --user is-active tarvona.service)" = failed ] && break; sleep 1; done
restarts=$(as_bob systemctl --user show -p NRestarts --value tarvona.service)
sleep 6
[ "$(as_bob systemctl --user show -p NRestarts --value tarvona.service)" = "$restarts" ] && \
  [ "$(as_bob systemctl --user is-active tarvona.service)" = failed ] \
  && pass "the user unit stopped retrying after $restarts restarts" || fail "the user unit retries on"
release_port

echo "container part took $(( $(date +%s) - start )) s"
if [ "$failures" -eq 0 ]; then echo "package-systemd-check: all passed"; else
  echo "package-systemd-check: $failures failed"; exit 1; fi
