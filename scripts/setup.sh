#!/usr/bin/env bash
# Installs every Debian package Korvane needs to build, test and run.
# Run as root (or through sudo). Safe to run again: installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  python3 locales
  xvfb xauth
  # Readers the export checks hand every format to.
  python3-html5lib libxml2-utils xsltproc sqlite3 postgresql python3-ldap slapd ldap-utils
  xclip
  python3-dbfread gnumeric
  python3-xlrd pspp readstat libwps-tools
  # PDF and RTF: our fonts come from fontconfig, FreeType and HarfBuzz; qpdf, poppler and
  # pandoc read the results back.
  libfontconfig-dev libfreetype-dev libharfbuzz-dev libicu-dev fonts-dejavu-core fonts-liberation2
  qpdf poppler-utils pandoc
  # Database targets through ODBC.
  unixodbc-dev libsqliteodbc odbc-postgresql
  # Office documents through LibreOffice, and their readers.
  libreoffice-calc-nogui libreoffice-writer-nogui libreoffice-dev
  antiword unrtf python3-openpyxl python3-docx
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"

# The value checks export under these locales as well as under C.
wanted_locales=(en_US.UTF-8 de_DE.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  # locale -a spells them en_US.utf8.
  norm="${l%%.*}.utf8"
  locale -a 2>/dev/null | grep -qix "$norm" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: generating locales ${missing_locales[*]}"
  for l in "${missing_locales[@]}"; do
    # Uncomment the line in /etc/locale.gen, or add it when it is not there.
    if grep -q "^# *$l UTF-8" /etc/locale.gen; then
      $SUDO sed -i "s/^# *$l UTF-8/$l UTF-8/" /etc/locale.gen
    elif ! grep -q "^$l UTF-8" /etc/locale.gen; then
      echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  $SUDO locale-gen
fi
echo "setup: locales present"
