#!/usr/bin/env bash
# Checks the Debian packages and the installed files of a built release tree:
#   tools/package-check.sh build/release      (make package-check builds both first)
# lintian without errors on tarvona-server and tarvona; each holds its expected files,
# the server's depends on no Qt library and the window's on the server of its version; an install into a
# scratch prefix whose tarvona-admin and tarvona-server run from there and serve a file;
# every installed manual page renders without warnings; the installed unit passes
# systemd-analyze verify; the unit's exposure score is printed; and, as root, dpkg
# installs, removes and purges the package in a private mount namespace, and the package
# runs under a real systemd in a container (tools/package-systemd-check.sh).
set -euo pipefail
tree=$(realpath "${1:?usage: tools/package-check.sh BUILD_TREE}")
version=$(sed -n 's/.*kTarvonaVersion\[\] = "\(.*\)";/\1/p' "$tree/generated/Version.h")
arch=$(dpkg --print-architecture)
deb="$tree/tarvona-server_${version}_${arch}.deb"
window_deb="$tree/tarvona_${version}_${arch}.deb"
scratch=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# lintian: no errors (warnings are shown, and allowed).
for d in "$deb" "$window_deb"; do
  if lintian --fail-on error --tag-display-limit 0 "$d"; then pass "lintian $(basename "$d"): no errors"
  else fail "lintian reports errors on $(basename "$d")"; fi
done

# Each package's files.
contents() { dpkg-deb --contents "$1" | awk '{print $NF}' | sed 's|^\./|/|'; }
contents "$deb" > "$scratch/contents"
contents "$window_deb" > "$scratch/window-contents"
for f in /usr/bin/tarvona-admin /usr/sbin/tarvona-server \
         /usr/share/man/man1/tarvona-admin.1.gz \
         /usr/share/man/man1/tarvona-service.1.gz /usr/share/man/man8/tarvona-server.8.gz \
         /usr/share/doc/tarvona-server/README.md /usr/share/doc/tarvona-server/examples/option.ini \
         /usr/share/doc/tarvona-server/copyright /usr/share/doc/tarvona-server/changelog.gz \
         /usr/lib/systemd/system/tarvona-server.service /usr/lib/sysusers.d/tarvona.conf; do
  grep -qx "$f" "$scratch/contents" || fail "tarvona-server lacks $f"
done
if [ -e "$tree/app/tarvona-service" ]; then
  grep -qx /usr/bin/tarvona-service "$scratch/contents" || fail "tarvona-server lacks tarvona-service"
fi
for f in /usr/bin/tarvona /usr/share/applications/tarvona.desktop \
         /usr/share/icons/hicolor/scalable/apps/tarvona.svg /usr/share/man/man1/tarvona.1.gz \
         /usr/share/doc/tarvona/copyright /usr/share/doc/tarvona/changelog.gz; do
  grep -qx "$f" "$scratch/window-contents" || fail "tarvona lacks $f"
done
grep -qx /usr/bin/tarvona "$scratch/contents" && fail "tarvona-server holds the window"
# No file in both: dpkg would refuse the second package.
shared=$(comm -12 <(grep -v '/$' "$scratch/contents" | sort) <(grep -v '/$' "$scratch/window-contents" | sort))
[ -z "$shared" ] || fail "files in both packages: $shared"
grep -q '^ExecStart=/usr/sbin/tarvona-server --dir /var/lib/tarvona$' \
  <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/tarvona-server.service) \
  || fail "the packaged unit does not run /usr/sbin/tarvona-server on /var/lib/tarvona"
depends=$(dpkg-deb --field "$deb" Depends)
case "$depends" in *libc6*) pass "tarvona-server Depends: $depends" ;;
  *) fail "tarvona-server's Depends lacks the computed library packages: $depends" ;; esac
grep -q libsystemd0 <<< "$depends" || fail "Depends lacks libsystemd0 (the notify protocol)"
grep -qi qt <<< "$depends" && fail "tarvona-server depends on Qt: $depends"
window_depends=$(dpkg-deb --field "$window_deb" Depends)
case "$window_depends" in *"tarvona-server (= $version)"*libqt6widgets6*) pass "tarvona Depends: $window_depends" ;;
  *) fail "tarvona's Depends lacks tarvona-server (= $version) or Qt: $window_depends" ;; esac

# An install into a scratch prefix, run from there.
prefix="$scratch/prefix"
cmake --install "$tree" --prefix "$prefix" > /dev/null
for b in "$prefix/bin/tarvona" "$prefix/bin/tarvona-admin" "$prefix/sbin/tarvona-server"; do
  out=$("$b" --version) && [ "$(head -n 1 <<< "$out")" = "$(basename "$b") (Tarvona FTP Server) $version" ] \
    && grep -q "GPL-3.0-or-later" <<< "$out" || fail "$b --version printed '$out'"
done
home="$scratch/home"
expected="program directory: $home/.local/share/tarvona/"
HOME=$home "$prefix/bin/tarvona-admin" --help | grep -qF "$expected" \
  || fail "installed tarvona-admin --help does not name $expected"
mkdir -p "$scratch/files" && echo "served from the scratch install" > "$scratch/files/hello.txt"
HOME=$home "$prefix/bin/tarvona-admin" user add alice --password pw --home "$scratch/files" \
  > /dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
HOME=$home "$prefix/sbin/tarvona-server" --dir "$home/.local/share/tarvona" --port "$port" \
  --listen 127.0.0.1 > "$scratch/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q "Server is running" "$scratch/server.log" && break; sleep 0.1; done
if [ "$(curl -s --max-time 10 "ftp://alice:pw@127.0.0.1:$port/hello.txt")" = \
     "served from the scratch install" ]; then pass "the installed server serves a file"
else fail "the installed server did not serve the file: $(cat "$scratch/server.log")"; fi
kill "$server_pid"; wait "$server_pid" || fail "tarvona-server did not stop with status 0"
server_pid=

# Manual pages.
for page in "$prefix"/share/man/man*/*.gz; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "man $(basename "$page"): $warnings"
done

# The system unit, as installed (it names the scratch prefix's tarvona-server).
unit="$prefix/lib/systemd/system/tarvona-server.service"
out=$(systemd-analyze verify --man=no "$unit" 2>&1) && [ -z "$out" ] || fail "systemd-analyze verify: $out"
systemd-analyze security --offline=yes --no-pager "$unit" | tail -1

# The maintainer scripts, run by dpkg itself where a private mount namespace can be had.
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2> /dev/null; then
  "$(dirname "$0")/package-install-check.sh" "$deb" "$window_deb" || fail "install, removal or purge"
else
  echo "skipped: installing the package (needs root and mount namespaces)"
fi

# Under a real systemd, in a booted container (a few minutes the first time, about two
# later); TARVONA_SYSTEMD_CHECK=0 leaves it out.
if [ "${TARVONA_SYSTEMD_CHECK:-1}" = 0 ]; then
  echo "skipped: the package under systemd (TARVONA_SYSTEMD_CHECK=0)"
elif [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the package under systemd (needs root for the container)"
else
  "$(dirname "$0")/package-systemd-check.sh" "$deb" "$window_deb" || fail "the packages under systemd"
fi

if [ "$failures" -eq 0 ]; then echo "package-check: all passed"; else
  echo "package-check: $failures failed"; exit 1; fi
