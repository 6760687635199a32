#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need; only the missing ones.
set -euo pipefail
PACKAGES=(g++ cmake ninja-build pkg-config
  libicu-dev zlib1g-dev libbz2-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev fonts-dejavu-core)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
