#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Tesmar. Needs root (or sudo).
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  procps util-linux psmisc
  openssh-client openssh-server
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev fonts-dejavu-core xvfb xauth xdotool
  dpkg-dev fakeroot file lintian sqlite3 passwd systemd
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
