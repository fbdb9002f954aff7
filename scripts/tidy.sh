#!/usr/bin/env bash
# The naming check of CONTRIBUTING.md: clang-tidy's readability-identifier-naming, as
# .clang-tidy configures it, over every translation unit of build/san (clang's compile
# commands; gcc's flags confuse clang-tidy). Results are cached in ~/.cache/dorvale-tidy
# (DORVALE_TIDY_CACHE), so only units whose sources or headers changed are checked again.
#   scripts/tidy.sh [-j N] [--no-cache] [PATH...]
# Exits 1 when a name breaks the rule.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec python3 "$root/scripts/tidy.py" "$@"
