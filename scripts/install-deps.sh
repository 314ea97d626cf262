#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when they are present.
set -euo pipefail
PACKAGES=(
  g++ cmake ninja-build python3
  libgtest-dev libbenchmark-dev
  libcurl4-openssl-dev libssl-dev
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev libjpeg-turbo-progs
  unicode-data lua5.4 tmux bc
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
