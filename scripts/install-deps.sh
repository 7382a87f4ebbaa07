#!/bin/sh
# Installs the Debian 12 packages Quillion needs to build, test and run,
# and to check and package its installed files (appstream, groff-base,
# file and dpkg-dev for `cpack -G DEB`).
# With --cluster, also Debian's Slurm and MUNGE, which only the cluster
# test (tests/cluster) needs: it starts a one-node cluster of its own. They
# bring daemons, so building, running and the other tests go without them;
# their own services are not started here.
# Idempotent: when every package is already present nothing is fetched.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config \
qt6-base-dev qt6-base-dev-tools libgl-dev \
libavformat-dev libavcodec-dev libavutil-dev libswscale-dev \
libgtest-dev libgmock-dev libbenchmark-dev libtbb-dev libmpfr-dev libgmp-dev libpng-dev \
ffmpeg shared-mime-info desktop-file-utils \
appstream groff-base file dpkg-dev \
clang clang-14 libclang-rt-14-dev"

case ${1-} in
"") ;;
--cluster) PACKAGES="$PACKAGES slurmctld slurmd slurm-client munge" ;;
*) echo "usage: $0 [--cluster]" >&2; exit 2 ;;
esac

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
    echo "install-deps: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing$missing" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
