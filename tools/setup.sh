#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing), then configures and
# builds the default preset into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config git
  qt6-base-dev libqt6svg6 libsqlite3-dev libcurl4-openssl-dev libx11-dev libsmbclient-dev libdbus-1-dev
  libwayland-dev libwayland-bin
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  xvfb xauth openbox x11-utils xdotool dbus at-spi2-core python3-pyatspi tinyproxy samba smbclient util-linux iproute2
  sway foot qt6-wayland kwin-wayland python3-gi gir1.2-glib-2.0
)
bash tools/install_packages.sh "${packages[@]}"

cmake --preset default >/dev/null
cmake --build --preset default -- -j"$(nproc)"
