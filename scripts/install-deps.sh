#!/usr/bin/env bash
# Brings the cross tools, Wine and the test tools onto a Debian 12 machine.
# Idempotent: packages already present are skipped, so a second run does nothing.
#   install-deps.sh           install what is missing
#   install-deps.sh --plan    say what this host can run and which packages it needs; install nothing
# SFX_IA32_PROBE names another program to run in place of the 32-bit probe (for the tests).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host-arch.sh"

# Both launcher images are built on every host: the compilers are x86-64 programs. Only
# running the 32-bit one needs a kernel that executes 32-bit code, and Wine's 32-bit part.
packages=(
  cmake ninja-build make
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64
  googletest
  xvfb xauth
  osslsigncode openssl
  clang libclang-rt-14-dev
  bc ca-certificates
  dpkg-dev file python3
)

if sfx_host_runs_32bit; then
  echo "install-deps: this kernel runs 32-bit x86 code: Wine's 32-bit part too (x86 and x64 launchers)"
  packages+=(wine32:i386)
else
  echo "install-deps: this kernel runs no 32-bit x86 code: no i386 packages (x64 launcher only under Wine)"
fi

if [ "${1:-}" = --plan ]; then
  echo "install-deps: packages: ${packages[*]}"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is already installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive

# A mirror in the middle of a sync can serve one index that does not match its Release file;
# the others are still good. Retry a few times, then let the install decide.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
updated=0
for attempt in 1 2 3; do
  if "${sudo_cmd[@]}" apt-get update -q >"$update_log" 2>&1; then
    updated=1
    break
  fi
  [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
done
if [ "$updated" -eq 0 ]; then
  failed=$(grep -E '^(E|W): Failed to fetch' "$update_log" | sed -E 's/^(E|W): Failed to fetch ([^ ]+).*/\2/' |
           sort -u | tr '\n' ' ')
  echo "install-deps: warning: apt-get update failed 3 times (${failed:-see below}); installing from the indexes there are" >&2
  grep -E '^(E|W):' "$update_log" >&2 || tail -n 5 "$update_log" >&2
fi

if ! "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  # A failure while unpacking or configuring leaves packages half set up: finish what can be.
  "${sudo_cmd[@]}" dpkg --configure -a >/dev/null 2>&1 || true
  echo "install-deps: apt-get install failed (its message is above); when the mirror has settled," \
       "run 'apt-get update' and then this script again" >&2
  exit 1
fi
