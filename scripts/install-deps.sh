#!/usr/bin/env bash
# Installs what Scrivane needs to build, test and look at its output on a
# Debian 12 machine. Safe to run again: only missing packages are installed.
set -euo pipefail
# clang-14 and its sanitizer runtimes build the fuzz targets (scripts/fuzz.sh),
# clang-format-14 checks the layout of the C++ (scripts/check-format.sh);
# ccache keeps rebuilds short. chromium, chromium-driver, python3-selenium and
# tidy check the web book in a real browser (tests/web). fp-compiler and
# fp-units-fcl build the resolver the cross-references are checked against
# (tests/xref).
PACKAGES=(g++ ccache clang-14 libclang-rt-14-dev clang-format-14 cmake ninja-build pkg-config libgtest-dev libbenchmark-dev qt6-base-dev libcups2-dev zlib1g-dev libdeflate-dev libharfbuzz-dev
  fonts-liberation2 fonts-dejavu-core fonts-wqy-microhei fonts-urw-base35 poppler-utils qpdf ghostscript xvfb xauth imagemagick xdotool fpc-source-3.2.2 lazarus-src-2.2
  desktop-file-utils shared-mime-info cups cups-bsd cups-client dpkg-dev file
  chromium chromium-driver python3-selenium tidy fp-compiler fp-units-fcl)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
