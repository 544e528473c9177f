#!/usr/bin/env bash
# Prepares a demo program directory: options, a shared folder with a sample file, and
# demo accounts when the account editor is built.
#   tools/make-demo.sh DEMO_DIR BUILD_DIR
set -euo pipefail
demo=$1
build=$2
mkdir -p "$demo/files/pub"
demo=$(cd "$demo" && pwd)
[ -f "$demo/option.ini" ] || cat > "$demo/option.ini" <<INI
[Server]
port=2121
maxusers=20
timeout=10
MinPort=50000
MaxPort=50100
Savelog=1
INI
echo "Hello from the Tarvona demo." > "$demo/files/pub/readme.txt"
admin="$build/app/tarvona-admin"
if [ -x "$admin" ] && "$admin" --dir "$demo" user list >/dev/null 2>&1; then
  "$admin" --dir "$demo" user show demo >/dev/null 2>&1 ||
    "$admin" --dir "$demo" user add demo --password demo --home "$demo/files" --perms RWDRALCRR
  "$admin" --dir "$demo" user show anonymous >/dev/null 2>&1 ||
    "$admin" --dir "$demo" user add anonymous --password "" --home "$demo/files/pub" --perms R----L---
fi
echo "demo program directory: $demo (users: demo/demo, anonymous)"
echo "TLS clients trust the certificate made at the first start:" \
  "lftp -e 'set ssl:ca-file $demo/tls-cert.pem' -u demo,demo -p 2121 127.0.0.1"
