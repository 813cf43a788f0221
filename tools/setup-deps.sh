#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need; does nothing when all are there.
# `setup-deps.sh --list` prints the package list (CI checks a built tree against it).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev qt6-translations-l10n
  qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
  libsqlite3-dev libicu-dev libpq-dev postgresql libsodium-dev libjpeg62-turbo-dev libxlsxwriter-dev libquazip1-qt6-dev zlib1g-dev
  fonts-liberation2 fonts-dejavu
  python3 poppler-utils dpkg-dev e2fsprogs openssl xvfb
  chromium chromium-driver python3-selenium
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
