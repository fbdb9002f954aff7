#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>.
#   scripts/build.sh release   gcc, optimised, with tests (the default)
#   scripts/build.sh san       clang with AddressSanitizer, UBSan and the libFuzzer targets
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
config=${1:-release}
# A fresh clone elsewhere reuses the compiler cache: paths are hashed relative to the tree.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
case "$config" in
    release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    san) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                -DDORVALE_SANITIZE=ON -DDORVALE_FUZZ=ON) ;;
    *) echo "usage: scripts/build.sh [release|san]" >&2; exit 2 ;;
esac
if [ ! -f "$root/build/$config/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/$config" -G Ninja "${flags[@]}" >/dev/null
fi
cmake --build "$root/build/$config"
