#!/bin/sh
# cluster_test.sh QUILLION SUBMIT
# Starts a one-node Slurm cluster on this machine, submits a small zoom
# video with SUBMIT (dist/quillion-slurm) as a job array of three tasks and
# the job that assembles it, waits for them, and checks that the video's
# frames, decoded, are those of the same video rendered by one process.
#
# Skipped (exit 77, with the reason) when not run as root or when the
# daemons cannot start here; QUILLION_CLUSTER_TEST=required (CI) makes
# that a failure instead.
set -eu

quillion=$1 submit=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/cluster/one_node_cluster.sh
. "$here/one_node_cluster.sh"

skip() {
    if [ "${QUILLION_CLUSTER_TEST-}" = required ]; then
        echo "cluster test: $* (and QUILLION_CLUSTER_TEST=required)" >&2
        exit 1
    fi
    echo "cluster test SKIPPED: $*" >&2
    exit 77
}
fail() { echo "cluster test: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "slurmd must run as root"
for c in munged slurmctld slurmd sbatch scontrol sinfo squeue scancel; do
    command -v "$c" >/dev/null 2>&1 || skip "$c is missing (scripts/install-deps.sh --cluster installs Slurm and MUNGE)"
done
command -v ffmpeg >/dev/null 2>&1 || fail "ffmpeg is missing (scripts/install-deps.sh installs it)"

work=$(mktemp -d /tmp/quillion-cluster.XXXXXX)
chmod 755 "$work"
cleanup() {
    status=$?
    cluster_stop
    if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
        for f in "$frames"/logs/*.out; do
            [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
        done
        cluster_log_tail
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
# A blank in the folder's name: it travels through sbatch as one word.
frames="$work/frame folder"
trap 'exit 130' INT
trap 'exit 143' TERM

cluster_start "$work/cluster" || skip "the one-node cluster did not start on this machine"

small_zoom "$work/end.frc"
video=$small_zoom_options

# shellcheck disable=SC2086 # $video is words without blanks inside
ids=$("$submit" --tasks 3 --quillion "$quillion" --parsable --frames-dir "$frames" \
    $video --output "$work/cluster.mp4") || fail "the submission failed"
# shellcheck disable=SC2086 # the two ids
set -- $ids
[ "$#" -eq 2 ] || fail "the submission printed \"$ids\", not two job ids"
array=$1 assembly=$2
cluster_wait "$array" "$assembly" || fail "the jobs did not all complete"
tasks=$(cluster_states "$array" | wc -l)
[ "$tasks" -eq 3 ] || fail "job $array ran $tasks array tasks, not 3"

# Every task rendered a share, and none rendered a frame of another's.
for t in 0 1 2; do
    grep -q "task $t of 3 renders" "$frames/logs/render-${array}_$t.out" ||
        fail "task $t rendered nothing"
done

# shellcheck disable=SC2086
"$quillion" $video --output "$work/single.mp4" --quiet || fail "the single-process render failed"
[ -s "$work/cluster.mp4" ] || fail "the assembly wrote no video"
decoded() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#'; }
decoded "$work/single.mp4" > "$work/single.md5" || fail "ffmpeg cannot decode the single-process video"
decoded "$work/cluster.mp4" > "$work/cluster.md5" || fail "ffmpeg cannot decode the assembled video"
count=$(wc -l < "$work/single.md5")
[ "$count" -eq 20 ] || fail "the single-process video has $count frames, not 20"
if ! cmp -s "$work/single.md5" "$work/cluster.md5"; then
    diff "$work/single.md5" "$work/cluster.md5" >&2 || true
    fail "the assembled video's frames differ from the single-process render's"
fi
echo "cluster test: 3 array tasks and the assembly gave the single-process video's $count frames"
