#!/usr/bin/env bash
# Installs every Debian package that building and testing Quorin Setup needs.
# Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  # host toolchain and libraries
  g++ cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libdeflate-dev libzopfli-dev libtomlplusplus-dev libcli11-dev nlohmann-json3-dev python3
  clang libclang-rt-14-dev
  # cross toolchains for the stub (i686 release target, x86_64 from the same source)
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 mingw-w64-tools
  # the Wine bench
  wine wine64 xvfb xauth x11-utils xdotool imagemagick
  # a TrueType font the font-installation tests install
  fonts-dejavu-core
  # MSI baseline of the install benchmark
  wixl msitools
)
export DEBIAN_FRONTEND=noninteractive

# The release stub is a 32-bit program, which the 32-bit Wine runs where the
# machine executes 32-bit code. Where it cannot, the 32-bit Wine is left out:
# installed, it would take over the wine command and fail every program.
packages_i386=()
if "$(dirname "$0")/lib/can-run-32bit.sh"; then
  packages_i386=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt-get update -q
  fi
fi

missing=()
for p in "${packages[@]}" ${packages_i386[@]+"${packages_i386[@]}"}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
