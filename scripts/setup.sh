#!/usr/bin/env bash
# Installs the Debian packages Quenly needs to build, run and test. Quiet and quick when all are
# present. Usage: scripts/setup.sh [build|test|bench|run]
set -euo pipefail

profile=${1:-test}

packages=(
    build-essential cmake ninja-build g++ clang pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-webengine-dev qt6-pdf-dev qtkeychain-qt6-dev qt6-translations-l10n libgl-dev
    libzip-dev libexpat1-dev zlib1g-dev libdeflate-dev libcairo2-dev libpango1.0-dev
    libfontconfig-dev libfreetype-dev libqpdf-dev libcurl4-openssl-dev libssl-dev
    fonts-noto-cjk fonts-arphic-ukai fonts-crosextra-carlito xdg-utils
)
if [ "$profile" = test ] || [ "$profile" = bench ]; then
    packages+=(libgtest-dev libclang-rt-14-dev python3 python3-openpyxl python3-xlwt python3-xlsxwriter python3-pytest
               xvfb xauth clang-format poppler-utils qpdf python3-aiosmtpd openssl
               openbox xdotool wmctrl x11-utils dbus-daemon gnome-keyring
               debootstrap desktop-file-utils appstream)
    # Printing tests convert results to PDF with LibreOffice; either variant of Calc will do.
    if ! dpkg-query -W -f='${Status}' libreoffice-calc 2>/dev/null | grep -q 'install ok installed'; then
        packages+=(libreoffice-calc-nogui)
    fi
fi
if [ "$profile" = bench ]; then
    packages+=(time)
fi
if [ "$profile" = run ]; then
    # The slips open in the desktop's spreadsheet application for preview and printing.
    packages+=(libreoffice-calc)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
