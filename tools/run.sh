#!/usr/bin/env bash
# Sets up and builds, then starts the definition manager on the default hives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
exec ./build/kiplaunch "$@"
