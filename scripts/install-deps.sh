#!/usr/bin/env bash
# Installs the Debian packages Invarro needs to build, run and test.
# Idempotent: only packages that are not yet installed are fetched.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libqt6dbus6 libgl-dev dbus
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsqlite3-dev sqlite3
  libzip-dev zip unzip
  libcurl4-openssl-dev libssl-dev python3-aiosmtpd openssl
  libqpdf-dev poppler-utils unrtf
  xvfb xauth imagemagick at-spi2-core python3-dbus
  fonts-liberation2 fonts-dejavu-core
  libsecret-1-dev breeze-icon-theme desktop-file-utils appstream
  libcups2-dev cups-daemon cups-client
  file lintian devscripts groff-base man-db
  libxml2-utils libsaxonhe-java default-jre-headless colord-data qpdf
  libqrencode-dev zbar-tools libxml2-dev libofx-dev
  postgresql libpq-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
