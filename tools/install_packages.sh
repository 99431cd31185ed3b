#!/usr/bin/env bash
# Installs the named Debian packages that are missing, through sudo when not root. Services the packages
# would start (smbd, tinyproxy) stay stopped: the tests start their own.
# Usage: bash tools/install_packages.sh PACKAGE...
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
$sudo chmod +x /usr/sbin/policy-rc.d
trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
