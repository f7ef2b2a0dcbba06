#!/usr/bin/env bash
# Builds the benchmarks of the default preset and runs them: thirty short repetitions, medians
# only, then the ratios against the peers and the speed targets; then the eavesdropper's, once
# (they set their own repetitions). Extra arguments go to both benchmark programs (e.g.
# --benchmark_filter=secp521r1). KX_BENCH_BUILD_DIR builds in another
# folder instead of the preset's; KX_BENCH_REPETITIONS and KX_BENCH_MIN_TIME (seconds per
# repetition) change the number and length of the repetitions.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kx_install_packages "${KX_RUN_PACKAGES[@]}" "${KX_TEST_PACKAGES[@]}"

build_dir=${KX_BENCH_BUILD_DIR:-}
if [ -z "$build_dir" ]; then
    cmake --preset default
    cmake --build --preset default --target kx_bench kx_bench_eve -j "$(nproc)"
    build_dir=build/default
else
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_BUILD_BENCH=ON \
        -DKX_BUILD_QT=OFF
    cmake --build "$build_dir" --target kx_bench kx_bench_eve -j "$(nproc)"
fi

echo "== Machine"
uname -srm
echo "cores: $(nproc); load:$(uptime | sed 's/.*load average//')"

json=$(mktemp)
trap 'rm -f "$json"' EXIT
# Many short repetitions of all benchmarks run in a random order, so that a burst of load on the
# machine falls on ours and on its peers alike instead of on whichever ran at the time, and the
# median passes over it.
"$build_dir/bench/kx_bench" --benchmark_repetitions="${KX_BENCH_REPETITIONS:-30}" \
    --benchmark_min_time="${KX_BENCH_MIN_TIME:-0.1}" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json "$@"

if command -v python3 >/dev/null 2>&1; then
    python3 scripts/bench_ratios.py "$json"
else
    echo "python3 not found: no ratios"
fi

echo "== The eavesdropper: rho steps per second, attacks, and estimates beyond reach"
"$build_dir/bench/kx_bench_eve" "$@"
