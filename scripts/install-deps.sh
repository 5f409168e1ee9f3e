#!/usr/bin/env bash
# Brings the cross tools, Wine and the test tools onto a Debian 12 machine.
# Idempotent: packages already present are skipped, so a second run does nothing.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  googletest
  xvfb xauth
  osslsigncode openssl
  clang libclang-rt-14-dev
  bc ca-certificates
  dpkg-dev file python3
)

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
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
