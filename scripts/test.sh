#!/usr/bin/env bash
# The test command: installs what is missing, builds the release and the
# sanitizer configurations, starts the test peers, runs every test in both,
# runs each libFuzzer target for a short while, then the naming check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${DORVALE_FUZZ_SECONDS:-20}
jobs=${DORVALE_TEST_JOBS:-$(nproc)}

scripts/install-deps.sh
scripts/build.sh release
scripts/build.sh san

services="$root/build/services"
trap 'scripts/services.sh stop "$services"' EXIT
scripts/services.sh start "$services"
# shellcheck disable=SC1091
source "$services/env"

log="$root/build/test.log"
: >"$log"
status=0
for config in release san; do
    echo "== tests ($config)"
    ctest --test-dir "build/$config" -j "$jobs" --timeout 600 --output-on-failure 2>&1 | tee -a "$log" \
        || status=1
done

echo "== fuzzing (${fuzz_seconds}s each)"
fuzz_passed=0
fuzz_failed=0
shopt -s nullglob
for fuzzer in build/san/fuzz/*; do
    [ -x "$fuzzer" ] && [ -f "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="build/san/fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    if [ -f "$fuzzer.seeds" ]; then
        seeds=("$(cat "$fuzzer.seeds")")
    fi
    if "$fuzzer" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -artifact_prefix="build/san/fuzz-corpus/$name-" \
        "$corpus" "${seeds[@]}" >"build/san/fuzz-corpus/$name.log" 2>&1; then
        echo "$name: ok ($(grep -o 'Done [0-9]* runs' "build/san/fuzz-corpus/$name.log" | tail -1))"
        fuzz_passed=$((fuzz_passed + 1))
    else
        echo "$name: FAILED"
        tail -40 "build/san/fuzz-corpus/$name.log"
        fuzz_failed=$((fuzz_failed + 1))
        status=1
    fi
done

echo "== naming check"
tidy_passed=0
tidy_failed=0
if scripts/tidy.sh; then
    tidy_passed=1
else
    echo "naming check: FAILED (fix the names above, or exempt a design name as CONTRIBUTING.md says)"
    tidy_failed=1
    status=1
fi

passed=$((fuzz_passed + tidy_passed))
failed=$((fuzz_failed + tidy_failed))
while read -r line; do
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done < <(grep -E 'tests passed, [0-9]+ tests failed out of' "$log")
echo
echo "summary: $passed passed, $failed failed"
exit $status
