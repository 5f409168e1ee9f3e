#!/usr/bin/env bash
# The project's entry point on any Debian 12 machine, bare or not: brings what the build
# and the tests need (make included), then runs make with the arguments given.
#   ./make.sh demo | ./make.sh test | ./make.sh build | ./make.sh bench
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bash scripts/install-deps.sh
exec make "$@"
