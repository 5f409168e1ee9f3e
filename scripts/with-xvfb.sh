#!/usr/bin/env bash
# Runs a command on a private virtual X display, for the tests that look at message boxes.
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
