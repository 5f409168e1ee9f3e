#!/usr/bin/env bash
# Tries README's two set-up commands the way a new user meets them: on a bare Debian 12
# (a minbase root made with debootstrap, nothing else installed), as root, in a clean clone
# of this checkout's HEAD. Prints each command's exit code and time, then whether any
# process the commands started is still running inside the root. Exits non-zero when a
# command failed or left a process behind.
#   sudo scripts/check-bare-machine.sh [--keep]     (takes half an hour or more)
# --keep leaves the root in place (its path is printed) instead of removing it.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
keep=0
[ "${1:-}" = "--keep" ] && keep=1

die() { echo "check-bare-machine: $*" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"

# The mirror apt already uses, so the check reaches what this machine reaches.
apt_mirror() {
    local uri=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list)
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null ||
        { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null; }
fi

root=$(mktemp -d /var/tmp/sfx-bare.XXXXXX)
logs="$root.logs"
mkdir -p "$logs"
mounted=()

# Processes whose root directory is the bare root: what the commands left running.
processes_inside() {
    local pid
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && echo "${pid#/proc/}"
    done
    return 0
}

cleanup() {
    local pids i
    pids=$(processes_inside)
    if [ -n "$pids" ]; then
        kill -9 $pids 2>/dev/null || true
        sleep 1
    fi
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
    done
    if grep -q " $root[/ ]" /proc/mounts; then
        echo "check-bare-machine: mounts remain below $root; it is left in place" >&2
        return
    fi
    if [ "$keep" -eq 1 ]; then
        echo "root kept: $root (logs: $logs)"
    else
        rm -rf --one-file-system "$root"
        echo "logs: $logs"
    fi
}
trap cleanup EXIT

mirror=$(apt_mirror)
echo "== debootstrap minbase bookworm from $mirror into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
    die "debootstrap failed; see $logs/debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"

echo "== a clean clone of $(git -C "$top" rev-parse --short HEAD) into /root/project"
git clone -q --no-local "$top" "$root/root/project"

mount_into() {  # mount_into TARGET MOUNT-ARGS...
    local target="$root$1"
    shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounted+=("$target")
}
mount_into /proc -t proc proc
mount_into /sys --bind /sys
mount_into /dev --bind /dev
mount_into /dev/pts --bind /dev/pts
mount_into /tmp -t tmpfs tmpfs

failed=0
run_inside() {  # run_inside NAME COMMAND
    local name=$1 command=$2 start end code
    echo "== in the bare root: $command"
    start=$(date +%s)
    set +e
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/project && $command" >"$logs/$name.log" 2>&1 </dev/null
    code=$?
    set -e
    end=$(date +%s)
    printf '%s: exit code %d, %d min %02d s (log: %s)\n' "$command" "$code" \
        $(((end - start) / 60)) $(((end - start) % 60)) "$logs/$name.log"
    [ "$code" -eq 0 ] || { failed=1; tail -n 30 "$logs/$name.log"; }
}
run_inside demo "./make.sh demo"
run_inside test "./make.sh test"

left=$(processes_inside)
if [ -n "$left" ]; then
    echo "still running inside the root after both commands:"
    ps -o pid,args -p "$(echo $left | tr ' ' ',')" || true
    failed=1
else
    echo "no process left running inside the root"
fi
exit "$failed"
