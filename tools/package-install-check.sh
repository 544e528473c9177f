#!/usr/bin/env bash
# Installs, removes and purges the tarvona-server .deb (and the tarvona one beside it) for
# real, with the maintainer scripts, in a private mount namespace whose /etc, /usr and
# /var are overlays: the machine itself is left untouched. Needs root (or the right to
# make mount namespaces).
#   tools/package-install-check.sh tarvona-server_<version>_<arch>.deb [tarvona_<version>_<arch>.deb]
set -euo pipefail
deb=$(realpath "${1:?usage: tools/package-install-check.sh SERVER_DEB [WINDOW_DEB]}")
window_deb=${2:+$(realpath "$2")}

if [ -z "${TARVONA_IN_NAMESPACE:-}" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  TARVONA_IN_NAMESPACE=$scratch unshare --mount --propagation private "$0" "$deb" $window_deb
  exit $?
fi

scratch=$TARVONA_IN_NAMESPACE
for d in etc usr var; do
  mkdir -p "$scratch/upper/$d" "$scratch/work/$d"
  mount -t overlay overlay \
    -o "lowerdir=/$d,upperdir=$scratch/upper/$d,workdir=$scratch/work/$d" "/$d"
done

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

getent passwd tarvona > /dev/null && { echo "a user tarvona exists already; nothing checked"; exit 0; }
dpkg -i "$deb" > "$scratch/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$scratch/dpkg.log")"
getent passwd tarvona > /dev/null && pass "the user tarvona was created" || fail "no user tarvona"
[ "$(stat -c '%U %a' /var/lib/tarvona 2>/dev/null)" = "tarvona 750" ] \
  && pass "/var/lib/tarvona belongs to tarvona, mode 0750" \
  || fail "/var/lib/tarvona: $(stat -c '%U %a' /var/lib/tarvona 2>&1)"

# The service's account editing and the server, as the service user, on port 21 with the
# unit's capability and no other privilege.
setpriv --reuid tarvona --regid tarvona --clear-groups /usr/bin/tarvona-admin \
  --dir /var/lib/tarvona user add alice --password pw --home /srv > /dev/null \
  || fail "tarvona-admin as tarvona"
if ! (exec 3<>/dev/tcp/127.0.0.1/21) 2>/dev/null; then
  setpriv --reuid tarvona --regid tarvona --clear-groups --inh-caps +net_bind_service \
    --ambient-caps +net_bind_service /usr/sbin/tarvona-server --dir /var/lib/tarvona \
    --listen 127.0.0.1 > "$scratch/server.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do grep -q "Server is running" "$scratch/server.log" && break; sleep 0.1; done
  curl -s --max-time 10 --list-only ftp://alice:pw@127.0.0.1/ > /dev/null \
    && pass "the service user's server answers on port 21" \
    || fail "no answer on port 21: $(cat "$scratch/server.log")"
  kill "$server"; wait "$server" || true
else
  echo "port 21 is taken here: the port-21 start is not checked"
fi

if [ -n "$window_deb" ]; then
  dpkg -i "$window_deb" > "$scratch/dpkg.log" 2>&1 && pass "tarvona installs beside it" \
    || fail "dpkg -i tarvona: $(cat "$scratch/dpkg.log")"
fi
dpkg -r tarvona tarvona-server > "$scratch/dpkg.log" 2>&1 || fail "dpkg -r: $(cat "$scratch/dpkg.log")"
[ -f /var/lib/tarvona/user.sdb ] && pass "removal keeps /var/lib/tarvona" \
  || fail "removal deleted the accounts"
dpkg --purge tarvona tarvona-server > "$scratch/dpkg.log" 2>&1 || fail "dpkg --purge: $(cat "$scratch/dpkg.log")"
[ ! -e /var/lib/tarvona ] && pass "purge deletes /var/lib/tarvona" || fail "purge left /var/lib/tarvona"

[ "$failures" -eq 0 ] || { echo "package-install-check: $failures failed"; exit 1; }
