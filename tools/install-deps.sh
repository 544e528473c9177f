#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Does nothing when everything is present.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  curl lftp python3 fail2ban libcrypt-dev
  libssl-dev openssl zlib1g-dev
  ccache clang-format
  qt6-base-dev libqt6svg6 fonts-dejavu-core
  scdoc man-db dpkg-dev lintian systemd
  debootstrap systemd-container
  libcurl4-openssl-dev libsystemd-dev
  libcpp-httplib-dev nlohmann-json3-dev
  pebble
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
