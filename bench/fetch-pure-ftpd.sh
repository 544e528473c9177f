#!/bin/sh
# Unpacks Debian's pure-ftpd into BUILD_DIR/peers for the transfer comparison. Its
# package conflicts with vsftpd's (both provide ftp-server), so it is not installed.
#   bench/fetch-pure-ftpd.sh BUILD_DIR
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
peers=$(cd "$1" && pwd)/peers
mkdir -p "$peers"
cd "$peers"
rm -f pure-ftpd_*.deb
apt-get download pure-ftpd
dpkg-deb -x pure-ftpd_*.deb .
echo "pure-ftpd: $peers/usr/sbin/pure-ftpd"
