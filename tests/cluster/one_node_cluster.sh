# shellcheck shell=sh
# One-node Slurm cluster on this machine, for the cluster test and the
# cluster's figure: sourced, not run. Everything lives under one folder of
# its own (the MUNGE key and socket, the configuration, state, spool, logs
# and pid files) and the daemons listen on ports found free, so nothing of a
# Slurm or MUNGE installed on the machine is read or touched.
#
#   cluster_start DIR   (DIR's parents searchable by all) starts munged, slurmctld and slurmd; exports
#                       SLURM_CONF; returns 1 (with the reason on stderr)
#                       when a daemon does not come up
#   cluster_stop        ends what cluster_start started (only those pids)
#   cluster_wait JOB... waits for the jobs to end (at most $cluster_timeout
#                       seconds); returns 1 unless every one completed
#   small_zoom FILE     writes the end document of the small zoom that the
#                       test and the figure submit, and sets $small_zoom_options
#                       to its quillion options (words without blanks)
#
# Slurm runs here with neither cgroups nor CPU binding
# (proctrack/linuxproc, task/none), which a container allows, and without
# accounting: a job's state is read from the controller while it keeps the
# record (MinJobAge).

cluster_dir=""
cluster_timeout=${cluster_timeout:-120}

cluster_log_tail() {
    for f in "$cluster_dir"/log/*.log; do
        [ -f "$f" ] || continue
        echo "--- $f" >&2
        tail -n 15 "$f" >&2
    done
}

# Ports with nothing listening on them, from the kernel's tables (hex).
cluster_port_is_free() {
    hex=$(printf '%04X' "$1")
    ! cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
        awk -v p=":$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }'
}

cluster_free_ports() {
    port=$((20000 + $$ % 20000))
    tries=0
    while ! cluster_port_is_free "$port" || ! cluster_port_is_free $((port + 1)); do
        port=$((port + 2))
        tries=$((tries + 1))
        [ "$tries" -lt 200 ] || return 1
        [ "$port" -lt 60000 ] || port=20000
    done
    echo "$port"
}

# Waits up to $2 seconds for the command $1 to succeed.
cluster_until() {
    n=0
    while ! eval "$1" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -le $(($2 * 4)) ] || return 1
        sleep 0.25
    done
}

cluster_start() {
    cluster_dir=$1
    umask 022
    # munged wants every folder up to its socket searchable by all and
    # writable by none but root (the caller sees to those above DIR).
    mkdir -p "$cluster_dir"
    chmod 755 "$cluster_dir"
    mkdir -p "$cluster_dir/munge" "$cluster_dir/state" "$cluster_dir/spool" "$cluster_dir/log"
    key=$cluster_dir/munge/munge.key
    dd if=/dev/urandom of="$key" bs=1024 count=1 2>/dev/null
    chmod 600 "$key"
    munge_socket=$cluster_dir/munge/munge.socket
    if ! munged --key-file="$key" --socket="$munge_socket" --pid-file="$cluster_dir/munge/munged.pid" \
        --log-file="$cluster_dir/log/munged.log" --seed-file="$cluster_dir/munge/munged.seed"; then
        echo "munged did not start" >&2
        cluster_log_tail
        return 1
    fi

    node=$(uname -n)
    node=${node%%.*}
    cpus=$(slurmd -C 2>/dev/null | sed -n 's/.*CPUs=\([0-9]*\).*/\1/p')
    [ -n "$cpus" ] || cpus=$(nproc)
    port=$(cluster_free_ports) || { echo "no free ports for slurmctld and slurmd" >&2; return 1; }
    export SLURM_CONF="$cluster_dir/slurm.conf"
    cat > "$SLURM_CONF" <<EOF
ClusterName=quillion-test
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$munge_socket
CredType=cred/munge
StateSaveLocation=$cluster_dir/state
SlurmdSpoolDir=$cluster_dir/spool
SlurmctldPidFile=$cluster_dir/slurmctld.pid
SlurmdPidFile=$cluster_dir/slurmd.pid
SlurmctldLogFile=$cluster_dir/log/slurmctld.log
SlurmdLogFile=$cluster_dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
SchedulerParameters=batch_sched_delay=0,sched_interval=1
MpiDefault=none
ReturnToService=2
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
MailProg=/bin/true
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
    if ! slurmctld -f "$SLURM_CONF" || ! cluster_until "scontrol ping | grep -q UP" 20; then
        echo "slurmctld did not start" >&2
        cluster_log_tail
        return 1
    fi
    if ! slurmd -f "$SLURM_CONF" -N "$node" ||
        ! cluster_until "sinfo -h -n $node -o %t | grep -qx idle" 30; then
        echo "slurmd did not start, or its node did not become idle" >&2
        sinfo -N -l >&2 || true
        cluster_log_tail
        return 1
    fi
}

cluster_stop() {
    [ -n "$cluster_dir" ] || return 0
    # Jobs first, so no step outlives its daemon; then the daemons, by the
    # pids they wrote, all at once (each takes a second or two to end), and
    # each waited for.
    if [ -f "$cluster_dir/slurmctld.pid" ]; then
        scancel --full --quiet --user=root 2>/dev/null || true
    fi
    pids=""
    for pidfile in "$cluster_dir/slurmd.pid" "$cluster_dir/slurmctld.pid" "$cluster_dir/munge/munged.pid"; do
        [ -f "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        case $pid in '' | *[!0-9]*) continue ;; esac
        kill "$pid" 2>/dev/null && pids="$pids $pid"
    done
    for pid in $pids; do
        n=0
        while kill -0 "$pid" 2>/dev/null && [ "$n" -lt 40 ]; do
            sleep 0.25
            n=$((n + 1))
        done
        kill -9 "$pid" 2>/dev/null || true
    done
}

# The states of a job (one line per array task), from the controller.
cluster_states() {
    scontrol -o show job "$1" 2>/dev/null | sed -n 's/.* JobState=\([A-Z_]*\) .*/\1/p'
}

cluster_wait() {
    n=0
    for job in "$@"; do
        while cluster_states "$job" | grep -qvE '^(COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY|BOOT_FAIL|DEADLINE|PREEMPTED)$'; do
            n=$((n + 1))
            if [ "$n" -gt $((cluster_timeout * 4)) ]; then
                echo "the jobs had not ended after $cluster_timeout s" >&2
                squeue >&2 || true
                return 1
            fi
            sleep 0.25
        done
    done
    for job in "$@"; do
        states=$(cluster_states "$job")
        [ -n "$states" ] || { echo "job $job is unknown to the controller" >&2; return 1; }
        if printf '%s\n' "$states" | grep -qvx COMPLETED; then
            # shellcheck disable=SC2086 # one state a word
            echo "job $job ended:" $states >&2
            return 1
        fi
    done
}

# A view 1e-3 across near the main cardioid's neck, about eleven halvings
# from the overview: 2 s at 10 frames/s, 64x48.
small_zoom() {
    cat > "$1" <<'EOF'
Fractal Type=Mandelbrot Set
[Main]
Name=Mandelbrot Set
type=Mandebrot Set
x=-0.7436438870371587
y=0.1318259042053119
radius=1e-3
precision=100
[Colors]
Red=1
Green=1
Blue=1
Red   Shift=1
Green Shift=1
Blue  Shift=1
Background=Black
EOF
    # shellcheck disable=SC2034 # read by the scripts that source this one
    small_zoom_options="--render $1 --zoom-video 2 --fps 10 --size 64x48"
}
