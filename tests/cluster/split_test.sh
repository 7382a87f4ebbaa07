#!/bin/sh
# split_test.sh SUBMIT
# The ranges that the array tasks of SUBMIT (dist/quillion-slurm) render,
# for counts of frames from none to more than tasks and 900, and counts of
# tasks from one to more than frames: together they are each frame once, in
# task order, and no two differ in size by more than one. The program is a stand-in that counts and tells its range.
set -eu

submit=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fake=$work/quillion
cat > "$fake" <<'FAKE'
#!/bin/sh
# Counts $FRAMES units; for --frames prints its range and the output.
while [ "$#" -gt 0 ]; do
    case $1 in
    --print-frames) echo "$FRAMES"; exit 0 ;;
    --frames) range=$2; shift ;;
    --output) output=$2; shift ;;
    esac
    shift
done
echo "range $range $output"
FAKE
chmod +x "$fake"

fail() { echo "split test: $*" >&2; exit 1; }
for frames in 0 1 2 3 4 5 6 7 8 9 10 11 12 900; do
    for tasks in 1 2 3 4 7 16; do
        next=0 smallest=$frames largest=0 task=0
        while [ "$task" -lt "$tasks" ]; do
            out=$(FRAMES=$frames SLURM_ARRAY_TASK_ID=$task "$submit" task "$tasks" "$fake" "$work/f d" \
                --render "$work/end.frc" --zoom-video 2) || fail "task $task of $tasks failed ($frames frames)"
            out=$(printf '%s\n' "$out" | tail -n 1)
            size=0
            case $out in
            "range "*)
                # shellcheck disable=SC2086 # the words of the line
                set -- $out
                [ "$3 $4" = "$work/f d/frame-%05d.png" ] || fail "task $task wrote to \"$3 $4\""
                first=${2%-*} last=${2#*-}
                [ "$first" -eq "$next" ] || fail "$frames frames, $tasks tasks: task $task starts at $first, not $next"
                if [ "$last" -lt "$first" ] || [ "$last" -ge "$frames" ]; then
                    fail "$frames frames, $tasks tasks: task $task renders $first-$last"
                fi
                next=$((last + 1))
                size=$((last - first + 1))
                ;;
            *"has none of the"*) ;;
            *) fail "task $task printed \"$out\"" ;;
            esac
            [ "$size" -ge "$smallest" ] || smallest=$size
            [ "$size" -le "$largest" ] || largest=$size
            task=$((task + 1))
        done
        [ "$next" -eq "$frames" ] || fail "$frames frames, $tasks tasks: the tasks rendered only up to $next"
        [ "$frames" -eq 0 ] || [ $((largest - smallest)) -le 1 ] ||
            fail "$frames frames, $tasks tasks: shares of $smallest to $largest frames"
    done
done
echo "split test: every split renders each frame once"
