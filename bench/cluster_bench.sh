#!/bin/sh
# cluster_bench.sh BUILD [BENCHMARK OPTIONS...]
# Starts a one-node Slurm cluster on this machine (as root, with Slurm and
# MUNGE from scripts/install-deps.sh --cluster) and runs BUILD/bench/bench_cluster
# in it: the cluster test's small zoom rendered by one process, and the same
# submitted with quillion-slurm as three array tasks and the assembly.
#   bench/cluster_bench.sh build --benchmark_repetitions=5
set -eu

build=$(cd "$1" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/cluster/one_node_cluster.sh
. "$root/tests/cluster/one_node_cluster.sh"

work=$(mktemp -d /tmp/quillion-cluster-bench.XXXXXX)
chmod 755 "$work"
trap 'cluster_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
cluster_start "$work/cluster"

small_zoom "$work/end.frc"
quillion=$build/app/quillion
QUILLION_BENCH_SINGLE="$quillion $small_zoom_options --output $work/single.mp4 --quiet"
# Timed up to the moment the controller reports the assembly complete,
# polled as the test polls it (sbatch --wait looks only every few seconds).
cat > "$work/submit.sh" <<SUBMIT
. "$root/tests/cluster/one_node_cluster.sh"
ids=\$("$root/dist/quillion-slurm" --tasks 3 --parsable --quillion "$quillion" --frames-dir "$work/frames" \\
    $small_zoom_options --output "$work/cluster.mp4") && cluster_wait \$ids
SUBMIT
QUILLION_BENCH_CLUSTER="sh $work/submit.sh"
QUILLION_BENCH_CLEAN="rm -rf $work/frames $work/single.mp4 $work/cluster.mp4"
export QUILLION_BENCH_SINGLE QUILLION_BENCH_CLUSTER QUILLION_BENCH_CLEAN
"$build/bench/bench_cluster" "$@"
