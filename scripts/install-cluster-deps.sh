#!/bin/sh
# Installs Debian 12's Slurm and MUNGE, which the cluster test
# (tests/cluster) needs to start a one-node cluster on this machine and
# submit a video to it. Kept apart from install-deps.sh: the packages bring
# daemons, and building, running and the other tests need none of them.
# Idempotent: when every package is already present nothing is fetched.
# The packages' own services are not started here; the test starts its own
# daemons with a configuration of its own and stops them again.
set -eu

PACKAGES="slurmctld slurmd slurm-client munge"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "install-cluster-deps: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

echo "install-cluster-deps: installing$missing" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
