#!/usr/bin/env bash
# Installs the Debian 12 packages that the build (and, with "test", the test suite) needs,
# only when some are missing. As root it runs apt-get itself; otherwise it prints the command.
set -euo pipefail

build_packages=(build-essential cmake pkg-config libgsf-1-dev libicu-dev libfontconfig-dev
    libharfbuzz-dev zlib1g-dev qt6-base-dev qt6-translations-l10n libgl-dev libsqlite3-dev
    fonts-dejavu-core fonts-wqy-microhei fonts-symbola)
test_packages=(libgtest-dev libbenchmark-dev python3 python3-xlrd python3-xlwt gnumeric xvfb
    xdotool x11-utils imagemagick clang-14 libclang-rt-14-dev clang-format git xauth
    desktop-file-utils ccache poppler-utils samba smbclient smbnetfs fuse3 python3-vobject
    libreoffice-calc-nogui xclip)

wanted=("${build_packages[@]}")
if [ "${1:-}" = "test" ]; then
    wanted+=("${test_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "Mancano dei pacchetti. Installarli con:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
