#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs Dorvale.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
scripts/build.sh release >/dev/null
echo "pwencode encodes a password for pasting where an encoded one is expected:"
echo "\$ pwencode secret"
build/release/bin/pwencode secret
