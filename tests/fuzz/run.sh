#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ (clang, libFuzzer, ASan, UBSan) and
# runs each for a bounded time. Fails on any finding: a crash, a sanitizer
# report, a saved document that changes when reopened, an input that runs
# longer than FUZZ_TIMEOUT seconds or takes more than FUZZ_RSS_MB.
#
#   tests/fuzz/run.sh                   each target for 120 s
#   FUZZ_TIME=3600 tests/fuzz/run.sh    each for an hour
#   tests/fuzz/run.sh fuzz_fdt          one target
#
# The targets run one after the other, or side by side with FUZZ_JOBS=2.
# What they find stays in build-fuzz/artifacts/; the corpus they grow stays
# in build-fuzz/work/ and is taken up again by the next run.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${FUZZ_BUILD:-$root/build-fuzz}"
time="${FUZZ_TIME:-120}"
timeout="${FUZZ_TIMEOUT:-10}"
rss="${FUZZ_RSS_MB:-2048}"
jobs="${FUZZ_JOBS:-1}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_frc fuzz_fdt fuzz_gradient)

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DQUILLION_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" --parallel 2 --target "${targets[@]}"

run() {
    local target="$1" kind="${1#fuzz_}"
    local work="$build/work/$kind" artifacts="$build/artifacts/$kind"
    local dict=()
    mkdir -p "$work" "$artifacts"
    [ -f "$root/tests/fuzz/$kind.dict" ] && dict=("-dict=$root/tests/fuzz/$kind.dict")
    # New inputs go to the work folder; the seed corpus in git is only read.
    "$build/tests/fuzz/$target" "${dict[@]}" -max_total_time="$time" -timeout="$timeout" \
        -rss_limit_mb="$rss" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "$root/tests/fuzz/corpus/$kind" >"$build/$target.log" 2>&1
}

status=0
if [ "$jobs" -gt 1 ]; then
    pids=()
    for t in "${targets[@]}"; do run "$t" & pids+=($!); done
    for i in "${!pids[@]}"; do wait "${pids[$i]}" || { echo "fuzz: ${targets[$i]} found a fault" >&2; status=1; }; done
else
    for t in "${targets[@]}"; do run "$t" || { echo "fuzz: $t found a fault" >&2; status=1; }; done
fi
for t in "${targets[@]}"; do
    echo "== $t ($build/$t.log)"
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done|^SUMMARY|^fuzz finding|^==[0-9]+==ERROR|Test unit written' \
        "$build/$t.log" || true
done
exit $status
