#!/usr/bin/env bash
# Sets up and builds, then runs every test, the bounded fuzz runs and the style checks, and builds and
# validates the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
ctest --preset default -j2
bash tools/fuzz.sh 30
bash tools/check_style.sh
bash tools/package.sh
